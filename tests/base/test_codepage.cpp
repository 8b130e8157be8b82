#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <variant>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "base/TextGate.h"

using namespace tavorin;

TEST(AnsiCodePage, EveryByteSurvivesTextAndBack) {
    ByteArray all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    const std::u16string text = AnsiCodePage::BytesToText(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(text[0x80], u'\u20AC');
    EXPECT_EQ(text[0x81], u'\u0081');
    EXPECT_EQ(text[0x9F], u'\u0178');
    EXPECT_EQ(AnsiCodePage::TextToBytes(text), all);
}

TEST(AnsiCodePage, RefusesWhatItCannotHoldAndNamesIt) {
    const auto refusal = [](std::u16string_view text) -> std::string {
        try {
            AnsiCodePage::TextToBytes(text);
        } catch (const Failure& f) {
            EXPECT_EQ(f.Number(), Failure::InvalidArgument);
            return f.Description();
        }
        return "accepted";
    };
    EXPECT_NE(refusal(u"abc\u0141").find("U+0141"), std::string::npos);
    EXPECT_NE(refusal(u"\u0141bc").find("U+0141"), std::string::npos);
    // A surrogate pair is named as one code point; half of one, at the end of a view, alone.
    const std::u16string pair = u"\U0001F600";
    EXPECT_NE(refusal(pair).find("U+1F600"), std::string::npos);
    EXPECT_NE(refusal(std::u16string_view(pair).substr(0, 1)).find("U+D83D "), std::string::npos);
}

TEST(AnsiCodePage, DecomposedLettersAreAcceptedAfterNormalisation) {
    // e + combining acute accent is é (0xE9) after NFC.
    EXPECT_EQ(AnsiCodePage::NormalizedTextToBytes(u"e\u0301"), ByteArray{0xE9});
    EXPECT_EQ(AnsiCodePage::NormalizedTextToBytes(u"e\u0300"), ByteArray{0xE8});  // the first combining mark
    EXPECT_THROW(AnsiCodePage::TextToBytes(u"e\u0301"), Failure);
}

// Every code point to UTF-8 and back in the length its range gives, surrogates refused; and
// its description names it, and only it.
TEST(Utf8, EveryCodePointRoundTripsAndIsNamedAsItself) {
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        char number[16];
        const std::size_t digits =
            static_cast<std::size_t>(std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(cp)));
        std::u16string one(1, static_cast<char16_t>(cp));
        if (cp >= 0x10000)
            one = {static_cast<char16_t>(0xD7C0 + (cp >> 10)), static_cast<char16_t>(0xDC00 + (cp & 0x3FF))};
        const std::string utf8 = ToUtf8(one);
        ASSERT_EQ(utf8.size(), cp < 0x80 ? 1u : cp < 0x800 ? 2u : cp < 0x10000 ? 3u : 4u) << number;
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            const char raw[] = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                                static_cast<char>(0x80 | (cp & 0x3F))};
            ASSERT_EQ(utf8, "\xEF\xBF\xBD");
            ASSERT_FALSE(IsValidUtf8(std::string_view(raw, 3))) << number;
        } else {
            ASSERT_EQ(FromUtf8(utf8), one) << number;
        }
        // "U+0141 'Ł'": the character shown is this one; controls and surrogates are not shown.
        const std::string name = DescribeCodePoint(cp);
        ASSERT_EQ(name.substr(0, digits), number);
        if (cp == 0xFEFF) {
            // Invisible, so it is named by what it is.
            ASSERT_EQ(name, "U+FEFF (byte-order mark)");
        } else if (name.size() > digits) {
            ASSERT_EQ(FromUtf8(name.substr(digits + 2, name.size() - digits - 3)), one) << name;
        }
    }
    // A lone surrogate becomes U+FFFD, also where the text goes on past the end of the view.
    const std::u16string text = u"a\U0001F600\u00E9\U0010FFFF";
    for (std::size_t n = 0; n <= text.size(); ++n) {
        std::u16string expected = text.substr(0, n);
        if (n > 0 && expected.back() >= 0xD800 && expected.back() <= 0xDBFF)
            expected.back() = 0xFFFD;
        EXPECT_EQ(FromUtf8(ToUtf8(std::u16string_view(text).substr(0, n))), expected) << n;
    }
}

TEST(Utf8, RejectsMalformed) {
    EXPECT_THROW(FromUtf8("\xC3"), Failure);              // truncated
    EXPECT_THROW(FromUtf8("\xC0\xAF"), Failure);          // overlong
    EXPECT_THROW(FromUtf8("\xF4\x90\x80\x80"), Failure);  // past U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xFF"));
    EXPECT_TRUE(IsValidUtf8(""));
    // ASCII of every length over a few 32-byte steps of the scan, each in a buffer of exactly
    // its size: no step reads past the end (the sanitizer build sees it).
    for (std::size_t n = 0; n <= 100; ++n) {
        const ByteArray text(n, 'a');
        EXPECT_TRUE(IsValidUtf8(std::string_view(reinterpret_cast<const char*>(text.data()), n)));
    }
}

TEST(AnsiCodePage, ExactlyTheTwoHundredFiftySixCharactersHaveBytes) {
    int accepted = 0;
    for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
        const auto c = static_cast<char16_t>(code);
        std::uint8_t b = 0;
        if (!AnsiCodePage::CharToByte(c, b)) {
            ASSERT_THROW(AnsiCodePage::TextToBytes(std::u16string{u'a', c}), Failure) << code;
            continue;
        }
        ++accepted;
        ASSERT_EQ(AnsiCodePage::ByteToChar(b), c) << code;
        ASSERT_EQ(AnsiCodePage::TextToBytes(std::u16string(1, c)), ByteArray{b}) << code;
    }
    EXPECT_EQ(accepted, 256);
}

TEST(TextGate, KeysAreNormalisedAndRefusedByName) {
    EXPECT_EQ(PassTextGate(u"cafe\u0301").text, u"caf\u00e9");
    EXPECT_EQ(PassTextGate(u"\u20ac uro").text, u"\u20ac uro");
    const GatedText refused = PassTextGate(u"\u0141\u00f3d\u017a");
    EXPECT_EQ(refused.refused, char32_t{0x141});
    EXPECT_TRUE(refused.text.empty());
    EXPECT_EQ(AnsiCodePage::FirstUnrepresentable(u"ok \u00ff\u0178"), std::nullopt);
    EXPECT_EQ(AnsiCodePage::FirstUnrepresentable(u"a\U0001F600"), char32_t{0x1F600});
}

// The message rule has a UTF-16 way (the window) and a UTF-8 way in place (the command line and
// the page): both give the same bytes or refuse the same character, and decoding gives the
// composed text back, as text and as UTF-8 pieces.
TEST(MessageRule, BothWaysInAgreeAndDecodingGivesTheTextBack) {
    const auto encode8 = [](const std::u16string& text, MessageEncoding encoding) -> std::variant<ByteArray, char32_t> {
        const std::string utf8 = ToUtf8(text);
        ByteArray bytes(utf8.begin(), utf8.end());
        try {
            EncodeMessage(bytes, encoding);
            return bytes;
        } catch (const TextFailure& f) {
            EXPECT_EQ(f.Kind(), FailureKind::NotInCodePage);
            return f.Character();
        }
    };
    const auto encode16 = [](const std::u16string& text,
                             MessageEncoding encoding) -> std::variant<ByteArray, char32_t> {
        try {
            return EncodeMessage(text, encoding);
        } catch (const TextFailure& f) {
            return f.Character();
        }
    };
    for (const std::u16string text : {u"plain", u"caf\u00E9 \u20AC\u0081", u"cafe\u0301", u"\u0141\u00F3d\u017A",
                                      u"\U0001F600 x", u"a\u0301\u0327"}) {
        for (MessageEncoding encoding : {MessageEncoding::Windows1252, MessageEncoding::Utf8}) {
            const auto bytes = encode16(text, encoding);
            EXPECT_EQ(encode8(text, encoding), bytes) << ToUtf8(text);
            if (const auto* b = std::get_if<ByteArray>(&bytes)) {
                EXPECT_EQ(DecodeMessage(*b, encoding), encoding == MessageEncoding::Utf8 ? text : NormalizeNFC(text));
                std::string pieces;
                DecodeMessage(b->data(), b->size(), encoding,
                              [&](const char* d, std::size_t n) { pieces.append(d, n); });
                EXPECT_EQ(pieces, ToUtf8(DecodeMessage(*b, encoding)));
                EXPECT_EQ(DecodedLength(b->data(), b->size(), encoding), pieces.size());
            }
        }
    }
    ByteArray malformed{'a', 0xC3, 'b'};
    EXPECT_THROW(EncodeMessage(malformed, MessageEncoding::Utf8), TextFailure);
    EXPECT_THROW(DecodeMessage(ByteArray{0xFF}, MessageEncoding::Utf8), TextFailure);
}

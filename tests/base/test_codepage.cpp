#include <gtest/gtest.h>

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
    try {
        AnsiCodePage::TextToBytes(u"abc\u0141");
        FAIL() << "no failure";
    } catch (const Failure& f) {
        EXPECT_EQ(f.Number(), Failure::InvalidArgument);
        EXPECT_NE(f.Description().find("U+0141"), std::string::npos);
    }
    // A surrogate pair is named as one code point.
    try {
        AnsiCodePage::TextToBytes(u"\U0001F600");
        FAIL() << "no failure";
    } catch (const Failure& f) {
        EXPECT_NE(f.Description().find("U+1F600"), std::string::npos);
    }
}

TEST(AnsiCodePage, DecomposedLettersAreAcceptedAfterNormalisation) {
    // e + combining acute accent is é (0xE9) after NFC.
    EXPECT_EQ(AnsiCodePage::NormalizedTextToBytes(u"e\u0301"), ByteArray{0xE9});
    EXPECT_THROW(AnsiCodePage::TextToBytes(u"e\u0301"), Failure);
}

TEST(Utf8, RoundTripAndRejectsMalformed) {
    const std::u16string text = u"a\u00E9\u20AC\U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_THROW(FromUtf8("\xC3"), Failure);              // truncated
    EXPECT_THROW(FromUtf8("\xC0\xAF"), Failure);          // overlong
    EXPECT_THROW(FromUtf8("\xED\xA0\x80"), Failure);      // surrogate
    EXPECT_THROW(FromUtf8("\xF4\x90\x80\x80"), Failure);  // past U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xFF"));
    EXPECT_TRUE(IsValidUtf8(""));
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

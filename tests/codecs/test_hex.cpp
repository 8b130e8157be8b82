// The hex codec: pairs and gaps, the pair count for every separator length, the digit rules
// (zero between "9" and "A", error 9 outside "0".."F"), the code page, and large round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "codecs/modHEX.h"

using namespace tavorin;
using namespace tavorin::modHEX;

namespace {

template <class F>
std::int32_t FailureNumber(F&& f) {
    try {
        f();
    } catch (const Failure& failure) {
        return failure.Number();
    }
    return 0;
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Independent of the codec's tables.
std::string ExpectedHex(const ByteArray& bytes, const std::string& gap) {
    std::string out;
    char pair[3];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0)
            out += gap;
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        out += pair;
    }
    return out;
}

ByteArray RandomBytes(std::mt19937& rng, std::size_t size) {
    ByteArray bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

constexpr std::int32_t kSubscript = Failure::SubscriptOutOfRange;
constexpr std::int32_t kInvalid = Failure::InvalidArgument;

}  // namespace

TEST(StringToHex, PairsAndGaps) {
    EXPECT_EQ(StringToHex(std::u16string(1, u'\0'), u" "), u"00");
    EXPECT_EQ(StringToHex(AnsiCodePage::BytesToText(ByteArray{0x0F, 0xF0}), u" "), u"0F F0");
    EXPECT_EQ(StringToHex(u"AB", u" "), u"41 42");
    EXPECT_EQ(StringToHex(u"\n", u" "), u"0A");

    ByteArray all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(StringToHex(AnsiCodePage::BytesToText(all), u" "), Widen(ExpectedHex(all, " ")));
    EXPECT_EQ(BytesToHex(all.data(), all.size(), " "), ExpectedHex(all, " "));
}

TEST(StringToHex, LengthsAndLongSeparators) {
    std::mt19937 rng(2);
    for (std::size_t n = 1; n <= 60; ++n) {
        const ByteArray bytes = RandomBytes(rng, n);
        const std::u16string text = AnsiCodePage::BytesToText(bytes);
        EXPECT_EQ(StringToHex(text, u" ").size(), 3 * n - 1);
        const std::u16string dashed = StringToHex(text, u"--");
        EXPECT_EQ(dashed.size(), 4 * n - 2);
        EXPECT_EQ(dashed, Widen(ExpectedHex(bytes, "--")));
        // Every gap is s copies of the first character; the rest of the separator is unused.
        EXPECT_EQ(StringToHex(text, u"-+\u0141"), Widen(ExpectedHex(bytes, "---")));
        EXPECT_EQ(BytesToHex(bytes.data(), n, "\r\n"), ExpectedHex(bytes, "\r\r"));
    }
}

// The envelope's fast writer: every length, every byte value, nothing written past 3n.
TEST(StringToHex, SpacedPairsForEveryLength) {
    std::mt19937 rng(3);
    for (std::size_t n = 1; n <= 300; ++n) {
        const ByteArray bytes = RandomBytes(rng, n);
        std::string out(3 * n + 4, '#');
        WriteSpacedPairs(bytes.data(), n, out.data());
        EXPECT_EQ(out.substr(0, 3 * n), ExpectedHex(bytes, " ") + " ");
        EXPECT_EQ(out.substr(3 * n), "####");
    }
    ByteArray all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    std::string out(3 * 256, '#');
    WriteSpacedPairs(all.data(), all.size(), out.data());
    EXPECT_EQ(out, ExpectedHex(all, " ") + " ");
}

TEST(StringToHex, Failures) {
    EXPECT_EQ(FailureNumber([] { StringToHex(u"", u" "); }), kSubscript);
    EXPECT_EQ(FailureNumber([] { StringToHex(u"", u""); }), kSubscript) << "the empty text is found first";
    EXPECT_EQ(FailureNumber([] { StringToHex(u"A", u""); }), kInvalid);
    EXPECT_EQ(FailureNumber([] { BytesToHex(nullptr, 0, " "); }), kSubscript);
    const std::uint8_t one = 1;
    EXPECT_EQ(FailureNumber([&] { BytesToHex(&one, 1, ""); }), kInvalid);
}

TEST(StringToHex, TextGoesThroughTheCodePage) {
    EXPECT_EQ(StringToHex(u"\u20AC\u0178\u00FF", u" "), u"80 9F FF");
    // A character the code page cannot hold is refused by name, not written as "?".
    try {
        StringToHex(u"ab\u0141", u" ");
        FAIL() << "no failure";
    } catch (const Failure& f) {
        EXPECT_EQ(f.Number(), kInvalid);
        EXPECT_NE(f.Description().find("U+0141"), std::string::npos) << f.Description();
    }
    EXPECT_EQ(FailureNumber([] { StringToHex(u"ab", u"\u0141"); }), kInvalid);
    EXPECT_EQ(StringToHex(u"ab", u"\u20AC"), u"61\u20AC62");
}

TEST(HexToString, SeparatorLengthOne) {
    for (const char16_t* text : {u"41 42", u"41-42", u"41 42 ", u"41 42\r\n", u"41\u014142\uFFFF\u0000"}) {
        EXPECT_EQ(HexToString(text, 1), u"AB") << "text of " << std::u16string_view(text).size();
    }
    // A third character after the last pair is read with the second as one more pair.
    EXPECT_EQ(FailureNumber([] { HexToString(u"41 42 \r\n", 1); }), kSubscript);
    EXPECT_EQ(HexToString(u"41 42 43", 1), u"ABC");
    EXPECT_EQ(HexToString(u"41 42 4", 1), u"AB");
}

TEST(HexToString, TwoCharactersAreOnePairForEverySeparatorLength) {
    for (std::int32_t s : {0, 1, 2, 3, 7, 1000, 0x7FFFFFFF}) {
        EXPECT_EQ(HexToString(u"41", s), u"A") << s;
        EXPECT_EQ(HexToBytes(std::string_view("41"), s), ByteArray{0x41}) << s;
    }
}

TEST(HexToString, NoPairIsError9) {
    for (std::int32_t s : {0, 1, 2, 3, 0x7FFFFFFF}) {
        EXPECT_EQ(FailureNumber([s] { HexToString(u"", s); }), kSubscript) << s;
        EXPECT_EQ(FailureNumber([s] { HexToString(u"4", s); }), kSubscript) << s;
        EXPECT_EQ(FailureNumber([s] { HexToBytes(std::string_view(""), s); }), kSubscript) << s;
        EXPECT_EQ(FailureNumber([s] { HexToBytes(std::u16string_view(u"4"), s); }), kSubscript) << s;
    }
}

TEST(HexToString, NegativeSeparatorLengthIsAnInvalidArgument) {
    for (std::int32_t s : {-1, -2, -3, std::numeric_limits<std::int32_t>::min()}) {
        EXPECT_EQ(FailureNumber([s] { HexToString(u"41 42", s); }), kInvalid) << s;
        EXPECT_EQ(FailureNumber([s] { HexToBytes(std::string_view("41 42"), s); }), kInvalid) << s;
    }
}

TEST(HexToString, LongerSeparatorsKeepTheirLastPair) {
    EXPECT_EQ(HexToString(u"41--42--43", 2), u"ABC");
    EXPECT_EQ(HexToString(u"41---42---43", 3), u"ABC");
    EXPECT_EQ(HexToString(u"4142", 0), u"AB");
    // Up to s + 1 characters after the last pair are ignored; s + 2 make one more pair.
    EXPECT_EQ(HexToString(u"41--42\r\n\r", 2), u"AB");
    EXPECT_EQ(FailureNumber([] { HexToString(u"41--42 \r\n ", 2); }), kSubscript);

    std::mt19937 rng(23);
    for (std::size_t n = 1; n <= 80; ++n) {
        const ByteArray bytes = RandomBytes(rng, n);
        const std::u16string text = AnsiCodePage::BytesToText(bytes);
        for (const char16_t* separator : {u" ", u"--", u"::-", u"\t\t\t\t\t\t\t"}) {
            const auto s = static_cast<std::int32_t>(std::u16string_view(separator).size());
            const std::u16string hex = StringToHex(text, separator);
            ASSERT_EQ(HexToString(hex, s), text) << n << " characters, separator " << s;
            ASSERT_EQ(HexToString(hex + u"\r\n", s), text) << "trailing line end";
        }
    }
}

TEST(HexToString, CodesBetweenNineAndAStandForZero) {
    for (char16_t between = u':'; between <= u'@'; ++between) {
        const std::u16string high = {between, u'4'};
        const std::u16string low = {u'4', between};
        EXPECT_EQ(HexToString(high, 1), std::u16string(1, u'\0')) << static_cast<int>(between);
        EXPECT_EQ(HexToString(low, 1), std::u16string(1, u'\0')) << static_cast<int>(between);
    }
    EXPECT_EQ(HexToString(u"4: :4 FF", 1), std::u16string(u"\0\0\u00FF", 3));
}

TEST(HexToString, EveryCharacterCodeInADigitPosition) {
    // Only 48..70 are digits; a wide character whose low byte is a digit is not one.
    for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
        const auto c = static_cast<char16_t>(code);
        const bool digit = code >= 48 && code <= 70;
        const std::u16string high = {c, u'0'};
        const std::u16string low = {u'0', c};
        ASSERT_EQ(FailureNumber([&] { HexToString(high, 1); }), digit ? 0 : kSubscript) << code;
        ASSERT_EQ(FailureNumber([&] { HexToBytes(std::u16string_view(low), 1); }), digit ? 0 : kSubscript) << code;
    }
    for (std::uint32_t code = 0; code <= 0xFF; ++code) {
        const char c = static_cast<char>(code);
        const bool digit = code >= 48 && code <= 70;
        ASSERT_EQ(FailureNumber([&] { HexToBytes(std::string{c, '0'}, 1); }), digit ? 0 : kSubscript) << code;
        ASSERT_EQ(FailureNumber([&] { HexToBytes(std::string{'0', c}, 1); }), digit ? 0 : kSubscript) << code;
    }
}

TEST(HexToString, ABadDigitAnywhereFailsAndSeparatorsAreNeverRead) {
    std::mt19937 rng(9);
    const ByteArray bytes = RandomBytes(rng, 12);
    const std::u16string text = AnsiCodePage::BytesToText(bytes);
    for (std::int32_t s : {1, 2, 3}) {
        const std::u16string hex = StringToHex(text, std::u16string(static_cast<std::size_t>(s), u' '));
        for (std::size_t position = 0; position < hex.size(); ++position) {
            const bool digit = position % static_cast<std::size_t>(s + 2) < 2;
            for (char16_t bad :
                 {u'a', u'f', u' ', u'G', u'/', u'z', u'\0', u'\u0141', u'\u20AC', u'\uFFFF', u'\u0130'}) {
                std::u16string changed = hex;
                changed[position] = bad;
                if (digit) {
                    ASSERT_EQ(FailureNumber([&] { HexToString(changed, s); }), kSubscript)
                        << "position " << position << ", s " << s;
                } else {
                    ASSERT_EQ(HexToString(changed, s), text) << "position " << position << ", s " << s;
                }
            }
        }
    }
}

TEST(HexToString, EveryPairAndTheCodePage) {
    ByteArray all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    const std::string hex = ExpectedHex(all, " ");
    EXPECT_EQ(HexToString(Widen(hex), 1), AnsiCodePage::BytesToText(all));
    EXPECT_EQ(HexToString(u"80", 1), u"\u20AC");
    EXPECT_EQ(HexToBytes(std::string_view(hex), 1), all);
    EXPECT_EQ(HexToBytes(std::u16string_view(Widen(hex)), 1), all);
}

TEST(HexCodec, LargeRoundTrips) {
    std::mt19937 rng(1);
    const ByteArray bytes = RandomBytes(rng, (1u << 20) + 3);
    const std::string hex = BytesToHex(bytes.data(), bytes.size(), " ");
    ASSERT_EQ(hex.size(), 3 * bytes.size() - 1);
    EXPECT_EQ(HexToBytes(std::string_view(hex), 1), bytes);
    const std::u16string wide = Widen(hex);
    EXPECT_EQ(HexToBytes(std::u16string_view(wide), 1), bytes);

    const std::u16string text = AnsiCodePage::BytesToText(bytes);
    const std::u16string textHex = StringToHex(text, u" ");
    EXPECT_EQ(textHex, wide);
    EXPECT_EQ(HexToString(textHex, 1), text);
    EXPECT_EQ(HexToString(StringToHex(text, u"\r\n"), 2), text);
}

// The vector paths against the portable one: every length from 0 to 300, good pairs and
// pairs with a bad or in-between digit anywhere, narrow and wide text.
class HexPaths : public ::testing::TestWithParam<Path> {
protected:
    void SetUp() override {
        if (!SelectPath(GetParam()))
            GTEST_SKIP() << "the CPU cannot run this path";
    }
    void TearDown() override { SelectPath(Path::Portable); }

    // The result of f under the path tested and under the portable path: bytes or the failure.
    template <class F>
    void ExpectSame(F&& f, std::size_t length) {
        const auto run = [&] {
            try {
                return std::pair<decltype(f()), std::int32_t>{f(), 0};
            } catch (const Failure& failure) {
                return std::pair<decltype(f()), std::int32_t>{{}, failure.Number()};
            }
        };
        SelectPath(GetParam());
        const auto fast = run();
        SelectPath(Path::Portable);
        const auto plain = run();
        ASSERT_EQ(fast, plain) << "length " << length;
    }
};

TEST_P(HexPaths, EncodeEveryLength) {
    std::mt19937 rng(5);
    for (std::size_t n = 0; n <= 300; ++n) {
        const ByteArray bytes = RandomBytes(rng, n);
        ExpectSame(
            [&] {
                // At every place in a cache line: a path may split its work by where lines start.
                std::string out(3 * n + 68, '#');
                WriteSpacedPairs(bytes.data(), n, out.data() + n % 64);
                return out;
            },
            n);
        ExpectSame([&] { return BytesToHex(bytes.data(), n, ":"); }, n);
        const std::u16string text = AnsiCodePage::BytesToText(bytes);
        ExpectSame([&] { return StringToHex(text, u"\u20AC"); }, n);
    }
}

TEST_P(HexPaths, DecodeEveryLength) {
    std::mt19937 rng(6);
    const std::u16string odd = u"a:@/G \u0130\u0141\uFF10\u0000";
    for (std::size_t length = 0; length <= 300; ++length) {
        for (int variant = 0; variant < 8; ++variant) {
            std::u16string text = Widen(ExpectedHex(RandomBytes(rng, length / 3 + 1), " ")).substr(0, length);
            // Variant 0 stays good; the others get an odd character somewhere.
            if (variant != 0 && length != 0)
                text[rng() % length] = odd[rng() % odd.size()];
            ExpectSame([&] { return HexToBytes(std::u16string_view(text), 1); }, length);
            ExpectSame([&] { return HexToString(text, 1); }, length);
            if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; })) {
                const std::string narrow(text.begin(), text.end());
                ExpectSame([&] { return HexToBytes(std::string_view(narrow), 1); }, length);
            }
        }
    }
}

// Space-led pairs of either case, as pasted envelopes hold them; every path stops at the
// same triple.
TEST_P(HexPaths, SpaceLedPairsEveryLength) {
    std::mt19937 rng(7);
    const std::string odd = "gG:@`I/\n\t\x10\x19\x80\xA0";
    for (std::size_t length = 0; length <= 300; ++length) {
        for (int variant = 0; variant < 6; ++variant) {
            std::string text = " " + ExpectedHex(RandomBytes(rng, length / 3 + 1), " ");
            for (char& c : text)
                c = variant == 1 && rng() % 2 ? static_cast<char>(std::tolower(c)) : c;
            text.resize(length);
            if (variant > 1 && length != 0)
                text[rng() % length] = odd[rng() % odd.size()];
            ExpectSame(
                [&] {
                    ByteArray out(length / 3);
                    out.resize(ReadSpaceLedPairs(text.data(), text.size(), length, out.data()));
                    return out;
                },
                length);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Vector, HexPaths, ::testing::Values(Path::Ssse3, Path::Avx2, Path::Avx512),
                         [](const auto& param) {
                             return param.param == Path::Avx512 ? "Avx512"
                                    : param.param == Path::Avx2 ? "Avx2"
                                                                : "Ssse3";
                         });

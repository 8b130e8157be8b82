// The digest: published vectors, padding boundaries and random lengths against Crypto++, on
// both compression paths; the low-byte rule for characters; streaming in pieces.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "Vectors.h"
#include "base/AnsiCodePage.h"
#include "codecs/CSHA256.h"

#ifdef TAVORIN_HAVE_CRYPTOPP
#include <cryptopp/sha.h>
#endif

using namespace tavorin;
using namespace tavorin::test;

namespace {

// Runs body once per compression path the CPU can run, and restores the chosen path.
void ForEachPath(const std::function<void(const char* name)>& body) {
    const CSHA256::Path chosen = CSHA256::ActivePath();
    struct Restore {
        CSHA256::Path path;
        ~Restore() { CSHA256::SelectPath(path); }
    } restore{chosen};
    ASSERT_TRUE(CSHA256::SelectPath(CSHA256::Path::Portable));
    body("portable");
    if (CSHA256::SelectPath(CSHA256::Path::ShaExtensions)) {
        body("SHA extensions");
    }
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Lower(std::string hex) {
    for (char& c : hex)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return hex;
}

ByteArray RandomBytes(std::mt19937& rng, std::size_t size) {
    ByteArray bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

// A text whose characters have these low bytes under random high bytes.
std::u16string WideText(std::mt19937& rng, const ByteArray& low) {
    std::u16string text(low.size(), u'\0');
    for (std::size_t i = 0; i < low.size(); ++i)
        text[i] = static_cast<char16_t>((rng() & 0xFF00) | low[i]);
    return text;
}

#ifdef TAVORIN_HAVE_CRYPTOPP
std::string OracleHex(const std::uint8_t* data, std::size_t size) {
    CSHA256::DigestBytes digest{};
    CryptoPP::SHA256().CalculateDigest(digest.data(), data, size);
    return CSHA256::ToLowerHex(digest);
}
#define REQUIRE_ORACLE() (void)0
#else
std::string OracleHex(const std::uint8_t*, std::size_t) { return {}; }
#define REQUIRE_ORACLE() GTEST_SKIP() << "Crypto++ not available as oracle"
#endif

// In (ASCII), optionally Repeat (a count), and Out.
void RunDigestVector(const VectorRecord& r) {
    const auto repeat = r.fields.count("Repeat") ? std::stoul(r.at("Repeat")) : 1ul;
    std::string message;
    for (unsigned long i = 0; i < repeat; ++i)
        message += r.at("In");
    const std::string expected = Lower(r.at("Out"));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
    ForEachPath([&](const char* path) {
        SCOPED_TRACE(path);
        EXPECT_EQ(CSHA256().SHA256(Widen(message)), Widen(expected));
        EXPECT_EQ(CSHA256::DigestHex(bytes, message.size()), expected);
        // In pieces of 7 bytes, so that blocks straddle the calls.
        CSHA256 stream;
        for (std::size_t at = 0; at < message.size(); at += 7) {
            stream.Update(bytes + at, std::min<std::size_t>(7, message.size() - at));
        }
        EXPECT_EQ(CSHA256::ToLowerHex(stream.Final()), expected);
    });
}

[[maybe_unused]] const bool registered = RegisterVectorRunner("SHA-256", RunDigestVector);

}  // namespace

TEST(CSHA256, EveryLengthUpTo1000MatchesTheOracleOnBothPaths) {
    REQUIRE_ORACLE();
    std::mt19937 rng(1000);
    for (std::size_t size = 0; size <= 1000; ++size) {
        const ByteArray bytes = RandomBytes(rng, size);
        const std::string expected = OracleHex(bytes.data(), bytes.size());
        const std::u16string text = WideText(rng, bytes);
        ForEachPath([&](const char* path) {
            ASSERT_EQ(CSHA256::DigestHex(bytes.data(), bytes.size()), expected) << path << ", " << size << " bytes";
            ASSERT_EQ(CSHA256().SHA256(text), Widen(expected)) << path << ", " << size << " characters";
        });
    }
}

TEST(CSHA256, LargeAndMisalignedInputsMatchTheOracle) {
    REQUIRE_ORACLE();
    std::mt19937 rng(7);
    const ByteArray bytes = RandomBytes(rng, (1u << 20) + 77);
    const std::u16string text = WideText(rng, bytes);
    for (std::size_t offset : {0, 1, 3, 8, 15}) {
        const std::string expected = OracleHex(bytes.data() + offset, bytes.size() - offset);
        ForEachPath([&](const char* path) {
            EXPECT_EQ(CSHA256::DigestHex(bytes.data() + offset, bytes.size() - offset), expected)
                << path << ", offset " << offset;
            EXPECT_EQ(CSHA256().SHA256(std::u16string_view(text).substr(offset)), Widen(expected))
                << path << ", text offset " << offset;
        });
    }
}

TEST(CSHA256, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
    std::mt19937 rng(3);
    const ByteArray bytes = RandomBytes(rng, 3000);
    const std::u16string text = WideText(rng, bytes);
    ForEachPath([&](const char* path) {
        SCOPED_TRACE(path);
        for (int round = 0; round < 50; ++round) {
            const std::size_t size = rng() % bytes.size();
            // Bytes and characters mixed, in pieces that straddle the blocks.
            CSHA256 stream;
            std::size_t at = 0;
            while (at < size) {
                const std::size_t piece = std::min<std::size_t>(rng() % 150, size - at);
                if (rng() % 2) {
                    stream.Update(bytes.data() + at, piece);
                } else {
                    stream.Update(std::u16string_view(text).substr(at, piece));
                }
                at += piece;
            }
            ASSERT_EQ(stream.Final(), CSHA256::Digest(bytes.data(), size)) << size << " bytes";
        }
    });
}

TEST(CSHA256, FinalStartsAgainAndSha256LeavesTheStreamAlone) {
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    CSHA256 hash;
    hash.Update(abc, 2);
    // A whole-text digest in between must not disturb the pieces already given.
    EXPECT_EQ(hash.SHA256(u"xyz"), CSHA256().SHA256(u"xyz"));
    hash.Update(abc + 2, 1);
    const auto first = hash.Final();
    EXPECT_EQ(first, CSHA256::Digest(abc, 3));
    hash.Update(abc, 3);
    EXPECT_EQ(hash.Final(), first);
    EXPECT_EQ(hash.Final(), CSHA256::Digest(nullptr, 0));
}

TEST(CSHA256, OnlyTheLowByteOfACharacterCounts) {
    const CSHA256 hash;
    EXPECT_EQ(hash.SHA256(u"\u0141"), hash.SHA256(u"A"));
    EXPECT_EQ(hash.SHA256(u"\uFF61\u0162\u2063"), hash.SHA256(u"abc"));
    // The byte 0x80 taken as text is U+20AC; it enters as 0xAC, not 0x80.
    const std::u16string euro = AnsiCodePage::BytesToText(ByteArray{0x80});
    ASSERT_EQ(euro, u"\u20AC");
    const std::uint8_t ac = 0xAC;
    const std::uint8_t x80 = 0x80;
    EXPECT_EQ(hash.SHA256(euro), Widen(CSHA256::DigestHex(&ac, 1)));
    EXPECT_NE(hash.SHA256(euro), Widen(CSHA256::DigestHex(&x80, 1)));

    // Over many blocks, and with the high byte 0xFF that a saturating narrowing would keep.
    std::mt19937 rng(11);
    const ByteArray low = RandomBytes(rng, 10000);
    std::u16string text = WideText(rng, low);
    ForEachPath([&](const char* path) {
        EXPECT_EQ(hash.SHA256(text), Widen(CSHA256::DigestHex(low.data(), low.size()))) << path;
        std::u16string saturating = text;
        for (std::size_t i = 0; i < saturating.size(); ++i)
            saturating[i] = static_cast<char16_t>(0xFF00 | low[i]);
        EXPECT_EQ(hash.SHA256(saturating), Widen(CSHA256::DigestHex(low.data(), low.size()))) << path;
    });
}

TEST(CSHA256, AlwaysSixtyFourLowerCaseDigitsWithLeadingZeros) {
    const CSHA256 hash;
    int leadingZeros = 0;
    for (int i = 0; i < 200; ++i) {
        const std::string text = std::to_string(i);
        const std::u16string digest = hash.SHA256(Widen(text));
        ASSERT_EQ(digest.size(), 64u);
        for (char16_t c : digest)
            ASSERT_TRUE((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'));
        EXPECT_EQ(hash.SHA256(Widen(text)), digest) << "the same text twice";
        bool zeroWord = false;
        for (std::size_t word = 0; word < 8; ++word)
            zeroWord |= digest[8 * word] == u'0';
        if (!zeroWord)
            continue;
        ++leadingZeros;
#ifdef TAVORIN_HAVE_CRYPTOPP
        // A state word below 0x10000000 keeps its leading zeros.
        EXPECT_EQ(digest, Widen(OracleHex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
#endif
    }
    EXPECT_GT(leadingZeros, 0);
}

TEST(CSHA256, PathSelection) {
    const CSHA256::Path chosen = CSHA256::ActivePath();
    EXPECT_EQ(chosen == CSHA256::Path::ShaExtensions, CSHA256::ShaExtensionsAvailable())
        << "the faster path is chosen when the CPU has it";
    EXPECT_TRUE(CSHA256::SelectPath(CSHA256::Path::Portable));
    EXPECT_EQ(CSHA256::ActivePath(), CSHA256::Path::Portable);
    EXPECT_EQ(CSHA256::SelectPath(CSHA256::Path::ShaExtensions), CSHA256::ShaExtensionsAvailable());
    EXPECT_EQ(CSHA256::ActivePath() == CSHA256::Path::ShaExtensions, CSHA256::ShaExtensionsAvailable());
    CSHA256::SelectPath(chosen);
}

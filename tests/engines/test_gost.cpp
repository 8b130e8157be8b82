// Gost: no library shares its substitution rows or byte handling, so the oracle is a literal
// slow model written from the cipher's description (signed division, nibble rows, one round
// at a time), set against the engine's table-driven rounds.
#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "FrameOracle.h"
#include "base/Failure.h"
#include "engines/clsGost.h"

using namespace tavorin;
using namespace tavorin::test;

namespace {

namespace model {

constexpr std::uint8_t Rows[8][16] = {
    {6, 5, 1, 7, 14, 0, 4, 10, 11, 9, 3, 13, 8, 12, 2, 15}, {14, 13, 9, 0, 8, 10, 12, 4, 7, 15, 6, 11, 3, 1, 5, 2},
    {6, 5, 1, 7, 2, 4, 10, 0, 11, 13, 14, 3, 8, 12, 15, 9}, {8, 7, 3, 9, 6, 4, 14, 5, 2, 13, 0, 12, 1, 11, 10, 15},
    {10, 9, 6, 11, 5, 1, 8, 4, 0, 13, 7, 2, 14, 3, 15, 12}, {5, 3, 0, 6, 11, 13, 4, 14, 10, 7, 1, 12, 2, 8, 15, 9},
    {2, 1, 12, 3, 11, 13, 15, 7, 10, 6, 9, 14, 0, 8, 4, 5}, {6, 5, 1, 7, 8, 9, 4, 2, 15, 3, 13, 12, 10, 14, 11, 0}};

std::uint32_t Pair(int high, int low, std::uint8_t i) { return 16 * Rows[high][i / 16] + Rows[low][i % 16]; }

// y from the four substituted bytes c3, c2, c1, c0 (most significant first), rotated.
std::uint32_t Substitute(std::uint8_t c3, std::uint8_t c2, std::uint8_t c1, std::uint8_t c0) {
    const std::uint32_t y = Pair(1, 0, c3) | Pair(3, 2, c2) << 8 | Pair(5, 4, c1) << 16 | Pair(7, 6, c0) << 24;
    return std::rotl(y, 11);
}

int negativeSums = 0;

std::uint32_t F(std::uint32_t x, std::uint32_t k) {
    auto s = static_cast<std::int32_t>(x + k);
    if (s < 0)
        ++negativeSums;
    std::uint8_t c[4];
    for (auto& byte : c) {
        byte = static_cast<std::uint8_t>(s & 0xFF);
        s /= 256;
    }
    return Substitute(c[3], c[2], c[1], c[0]);
}

struct Block {
    std::uint32_t a, b;
    bool operator==(const Block&) const = default;
};

Block Encrypt(const std::uint32_t (&k)[8], Block v) {
    for (int r = 1; r <= 32; ++r) {
        const std::uint32_t key = k[r <= 24 ? (r - 1) % 8 : 32 - r];
        if (r % 2)
            v.b ^= F(v.a, key);
        else
            v.a ^= F(v.b, key);
    }
    return v;
}

Block Decrypt(const std::uint32_t (&k)[8], Block v) {
    for (int r = 1; r <= 32; ++r) {
        const std::uint32_t key = k[r <= 8 ? r - 1 : 7 - (r - 9) % 8];
        if (r % 2)
            v.a ^= F(v.b, key);
        else
            v.b ^= F(v.a, key);
    }
    return v;
}

void KeyWords(const ByteArray& keyBytes, std::uint32_t (&k)[8]) {
    for (int j = 0; j < 8; ++j) {
        k[j] = 0;
        for (int m = 3; m >= 0; --m)
            k[j] = k[j] << 8 | keyBytes[(4 * j + m) % keyBytes.size()];
    }
}

}  // namespace model

model::Block Load(const std::uint8_t* p) {
    return {std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3],
            std::uint32_t{p[4]} << 24 | p[5] << 16 | p[6] << 8 | p[7]};
}

void Store(model::Block v, std::uint8_t* p) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v.a >> (24 - 8 * i));
        p[4 + i] = static_cast<std::uint8_t>(v.b >> (24 - 8 * i));
    }
}

model::Block EngineEncrypt(Engine& e, model::Block v) {
    std::uint8_t block[8];
    Store(v, block);
    e.RawEncryptBlock(block);
    return Load(block);
}

// The model's block function, in the place of the engine's.
auto ModelBlock(const std::uint32_t (&k)[8], bool encrypt) {
    return [&k, encrypt](const std::uint8_t* in, std::uint8_t* out) {
        Store(encrypt ? model::Encrypt(k, Load(in)) : model::Decrypt(k, Load(in)), out);
    };
}

ByteArray FingerprintOf(std::u16string_view key) { return test::FingerprintOf<clsGost>(key); }

}  // namespace

TEST(Gost, NegativeSumsAreSplitByTruncatingDivision) {
    // 0x80000001 as 81 01 01 01, not its bytes 80 00 00 01; 0xFFFFFFFF as 00 00 00 FF.
    const std::uint32_t x = 0x12345678u;
    EXPECT_EQ(clsGost::RoundFunction(x, 0x80000001u - x), model::Substitute(0x81, 0x01, 0x01, 0x01));
    EXPECT_NE(clsGost::RoundFunction(x, 0x80000001u - x), model::Substitute(0x80, 0x00, 0x00, 0x01));
    EXPECT_EQ(clsGost::RoundFunction(0xFFFFFFFFu, 0), model::Substitute(0x00, 0x00, 0x00, 0xFF));
    EXPECT_EQ(clsGost::RoundFunction(0x80000000u, 0x7FFFFFFFu), model::Substitute(0x00, 0x00, 0x00, 0xFF));
    EXPECT_EQ(clsGost::RoundFunction(0x80000000u, 0), model::Substitute(0x80, 0x00, 0x00, 0x00));
    // Below 2^31 the bytes are the sum's own, and the sum wraps modulo 2^32.
    EXPECT_EQ(clsGost::RoundFunction(0x7FFFFFFFu, 0), model::Substitute(0x7F, 0xFF, 0xFF, 0xFF));
    EXPECT_EQ(clsGost::RoundFunction(0xFFFFFFFFu, 0x12345679u), model::Substitute(0x12, 0x34, 0x56, 0x78));
}

TEST(Gost, RoundFunctionMatchesModelOnEverySumShape) {
    std::mt19937 rng(11);
    for (int i = 0; i < 200000; ++i) {
        std::uint32_t x = rng(), k = rng();
        // Sums with zero low bytes are where s - 1 borrows across bytes.
        if (i % 4 == 1)
            k = (x ^ 0xFFFFFFFFu) + 1 + (rng() & 0xFF000000u);
        if (i % 4 == 2)
            k = (0u - x) + (rng() & 0xFFFF0000u);
        if (i % 4 == 3)
            k = (0u - x) + (rng() & 0xFFFFFF00u);
        ASSERT_EQ(clsGost::RoundFunction(x, k), model::F(x, k)) << std::hex << x << " + " << k;
    }
}

TEST(Gost, BlocksMatchModelAndDecryptInverts) {
    std::mt19937 rng(28147);
    model::negativeSums = 0;
    for (int n = 0; n < 300; ++n) {
        const ByteArray keyBytes = RandomBytes(rng, 1 + n % 40);
        std::uint32_t k[8];
        model::KeyWords(ByteArray(keyBytes.begin(), keyBytes.begin() + std::min<std::size_t>(32, keyBytes.size())), k);
        clsGost gost;
        gost.Key(TextOf(keyBytes));
        for (int b = 0; b < 4; ++b) {
            const model::Block plain{static_cast<std::uint32_t>(rng()), static_cast<std::uint32_t>(rng())};
            const model::Block want = model::Encrypt(k, plain);
            ASSERT_EQ(EngineEncrypt(gost, plain), want) << "key " << n;
            ASSERT_EQ(model::Decrypt(k, want), plain);
            std::uint8_t block[8];
            Store(want, block);
            gost.RawDecryptBlock(block);
            ASSERT_EQ(Load(block), plain);
        }
    }
    EXPECT_GT(model::negativeSums, 10000);  // sums of 2^31 and more were exercised
}

TEST(Gost, KeyBytesAreLittleEndianWordsDataWordsBigEndian) {
    // The first key byte is the low byte of K0; the first data byte the high byte of A.
    clsGost gost;
    gost.Key(TextOf(ByteArray{0x01, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const std::uint32_t k[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    std::uint8_t block[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    gost.RawEncryptBlock(block);
    EXPECT_EQ(Load(block), model::Encrypt(k, {0x12345678u, 0x9ABCDEF0u}));
    const std::uint32_t wrong[8] = {0x01000000u, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_NE(Load(block), model::Encrypt(wrong, {0x12345678u, 0x9ABCDEF0u}));
}

TEST(Gost, KeyIsUsedCyclicallyUpTo32Bytes) {
    // One character: 32 equal bytes, so eight equal subkeys.
    clsGost one;
    one.Key(u"a");
    const std::uint32_t equal[8] = {0x61616161u, 0x61616161u, 0x61616161u, 0x61616161u,
                                    0x61616161u, 0x61616161u, 0x61616161u, 0x61616161u};
    EXPECT_EQ(EngineEncrypt(one, {1, 2}), model::Encrypt(equal, {1, 2}));
    EXPECT_EQ(FingerprintOf(u"a"), FingerprintOf(std::u16string(32, u'a')));

    EXPECT_EQ(FingerprintOf(u"abc"), FingerprintOf(u"abcabcabcabcabcabcabcabcabcabcab"));
    const std::u16string k32 = u"0123456789abcdefghijklmnopqrstuv";
    EXPECT_EQ(FingerprintOf(k32), FingerprintOf(k32 + u"w"));
    EXPECT_EQ(FingerprintOf(k32), FingerprintOf(k32 + u"wxyz01234"));
    EXPECT_NE(FingerprintOf(k32), FingerprintOf(u"0123456789abcdefghijklmnopqrstuV"));
}

TEST(Gost, NewInstanceUsesTheAllZeroKey) {
    const std::uint32_t zero[8] = {};
    clsGost fresh;
    EXPECT_EQ(EngineEncrypt(fresh, {0xDEADBEEFu, 0x01234567u}), model::Encrypt(zero, {0xDEADBEEFu, 0x01234567u}));
    fresh.Key(u"");  // empty over empty: nothing happens
    EXPECT_EQ(EngineEncrypt(fresh, {0xDEADBEEFu, 0x01234567u}), model::Encrypt(zero, {0xDEADBEEFu, 0x01234567u}));

    // An empty key argument keeps the current key.
    clsGost keyed;
    ByteArray data{1, 2, 3};
    keyed.EncryptByte(data, u"secret");
    EXPECT_TRUE(keyed.DecryptByte(data));
    EXPECT_EQ(data, (ByteArray{1, 2, 3}));
}

TEST(Gost, EmptyKeyOverACurrentOneIsDivisionByZeroAndChangesNothing) {
    clsGost gost;
    gost.Key(u"current");
    const ByteArray before = Fingerprint(gost);
    for (int i = 0; i < 2; ++i) {
        try {
            gost.Key(u"");
            FAIL() << "no failure";
        } catch (const Failure& f) {
            EXPECT_EQ(f.Number(), Failure::DivisionByZero);
        }
        EXPECT_EQ(Fingerprint(gost), before);
    }
    gost.Key(u"current");
    EXPECT_EQ(Fingerprint(gost), before);
}

TEST(Gost, RefusedKeyTextChangesNothing) {
    clsGost gost;
    gost.Key(u"kept");
    const ByteArray before = Fingerprint(gost);
    for (int i = 0; i < 2; ++i) {
        EXPECT_THROW(gost.Key(u"\u0141"), Failure);
        EXPECT_EQ(Fingerprint(gost), before);
    }
    gost.Key(u"other");
    gost.Key(u"kept");
    EXPECT_EQ(Fingerprint(gost), before);
}

// The frame's chaining against the model's CBC, both ways; block counts run over every
// remainder of the several-blocks decryption.
TEST(Gost, FrameIsCbcOfTheBlockFunction) {
    std::mt19937 rng(89);
    for (std::size_t L = 0; L < 100; L += 3) {
        const ByteArray keyBytes = RandomBytes(rng, 32);
        std::uint32_t k[8];
        model::KeyWords(keyBytes, k);
        const ByteArray data = RandomBytes(rng, L);
        clsGost gost;

        ByteArray ours = data;
        gost.EncryptByte(ours, TextOf(keyBytes));
        const ByteArray opened = CbcDecrypt(ours, 8, ModelBlock(k, false));
        EXPECT_EQ(StoredLength(opened), L);
        EXPECT_EQ(ByteArray(opened.begin() + 12, opened.begin() + 12 + static_cast<std::ptrdiff_t>(L)), data);

        ByteArray theirs = CbcEncrypt(PlainFrame(data, 8), 8, ModelBlock(k, true));
        ASSERT_TRUE(gost.DecryptByte(theirs, TextOf(keyBytes)));
        EXPECT_EQ(theirs, data);
    }
}

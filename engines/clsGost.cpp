#include "engines/clsGost.h"

#include <bit>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/Helpers.h"

// The round function substitutes the bytes c0..c3 that repeated truncating division by 256
// takes from the signed sum s = x + k: c0 through rows 7/6 into bits 24..31, c1 through rows
// 5/4 into bits 16..23, c2 through rows 3/2 into bits 8..15, c3 through rows 1/0 into bits
// 0..7, and rotates the result left by 11.
//
// For s >= 0 the c are the bytes b0..b3 of s. For s < 0, truncation is the floor plus one
// whenever the division is inexact, and the floor of s / 256^i is s shifted right
// arithmetically, whose low byte is bi; so ci = bi + 1 (mod 256) when the low 8i bits of s are
// not all zero, else bi. With b0 != 0 that is b0, b1 + 1, b2 + 1, b3 + 1; sums with b0 == 0
// (one round in 256) take the division itself.
//
// So each round needs, besides the bytes, only the sign: byte 3 carries it as its top bit,
// byte 2 is looked up together with it ((s >> 16) & 0x80FF indexes a table that is sparse in
// between), and byte 1 takes one of two tables, picked by a conditional move when one block is
// on its own and by a look-up on byte 3 when several blocks keep the arithmetic units busy.

namespace tavorin {

template class FramedEngine<clsGost, 8>;

namespace {

constexpr std::uint8_t SBox[8][16] = {
    {6, 5, 1, 7, 14, 0, 4, 10, 11, 9, 3, 13, 8, 12, 2, 15}, {14, 13, 9, 0, 8, 10, 12, 4, 7, 15, 6, 11, 3, 1, 5, 2},
    {6, 5, 1, 7, 2, 4, 10, 0, 11, 13, 14, 3, 8, 12, 15, 9}, {8, 7, 3, 9, 6, 4, 14, 5, 2, 13, 0, 12, 1, 11, 10, 15},
    {10, 9, 6, 11, 5, 1, 8, 4, 0, 13, 7, 2, 14, 3, 15, 12}, {5, 3, 0, 6, 11, 13, 4, 14, 10, 7, 1, 12, 2, 8, 15, 9},
    {2, 1, 12, 3, 11, 13, 15, 7, 10, 6, 9, 14, 0, 8, 4, 5}, {6, 5, 1, 7, 8, 9, 4, 2, 15, 3, 13, 12, 10, 14, 11, 0}};

constexpr bool EveryRowIsAPermutation() {
    for (const auto& row : SBox) {
        unsigned seen = 0;
        for (std::uint8_t v : row)
            seen |= 1u << v;
        if (seen != 0xFFFFu)
            return false;
    }
    return true;
}
static_assert(EveryRowIsAPermutation());

using PairTable = std::array<std::uint8_t, 256>;

// A whole byte through two rows: the high nibble through the higher row.
constexpr PairTable MakePair(int high, int low) {
    PairTable t{};
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<std::uint8_t>(16 * SBox[high][i / 16] + SBox[low][i % 16]);
    return t;
}

constexpr PairTable PairTable76 = MakePair(7, 6);
constexpr PairTable PairTable54 = MakePair(5, 4);
constexpr PairTable PairTable32 = MakePair(3, 2);
constexpr PairTable PairTable10 = MakePair(1, 0);

// The round function straight from its definition; for the sums whose low byte is zero.
[[gnu::cold, gnu::noinline]] constexpr std::uint32_t BySignedDivision(std::uint32_t s) noexcept {
    auto q = static_cast<std::int32_t>(s);
    std::uint8_t c[4] = {};
    for (auto& byte : c) {
        byte = static_cast<std::uint8_t>(q & 0xFF);
        q /= 256;
    }
    return std::rotl(std::uint32_t{PairTable76[c[0]]} << 24 | std::uint32_t{PairTable54[c[1]]} << 16 |
                         std::uint32_t{PairTable32[c[2]]} << 8 | std::uint32_t{PairTable10[c[3]]},
                     11);
}

// One pair table's byte in its place of y, rotated.
constexpr std::uint32_t Placed(const PairTable& pair, std::uint8_t c, int shift) noexcept {
    return std::rotl(std::uint32_t{pair[c]} << shift, 11);
}

// Each table entry is one byte's share of the round function, substituted, placed and
// rotated. Separate arrays, so that each stays in a base register.
template <std::size_t Size, class Entry>
constexpr std::array<std::uint32_t, Size> MakeTable(Entry entry) {
    std::array<std::uint32_t, Size> t{};
    for (int b = 0; b < 256; ++b)
        entry(t, static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(b + 1));
    return t;
}

// By b0, either sign.
constexpr auto Byte0 = MakeTable<256>([](auto& t, std::uint8_t c, std::uint8_t) { t[c] = Placed(PairTable76, c, 24); });
// By b1: for s >= 0, and for s < 0 (b1 + 1).
constexpr auto Byte1 = MakeTable<256>([](auto& t, std::uint8_t c, std::uint8_t) { t[c] = Placed(PairTable54, c, 16); });
constexpr auto Byte1Neg =
    MakeTable<256>([](auto& t, std::uint8_t c, std::uint8_t up) { t[c] = Placed(PairTable54, up, 16); });
// By (s >> 16) & 0x80FF: b2 and the sign; the entries in between are never used.
constexpr auto Byte2 = MakeTable<0x8100>([](auto& t, std::uint8_t c, std::uint8_t up) {
    t[c] = Placed(PairTable32, c, 8);
    t[0x8000 + c] = Placed(PairTable32, up, 8);
});
// By b3, whose top bit is the sign.
constexpr auto Byte3 =
    MakeTable<256>([](auto& t, std::uint8_t c, std::uint8_t up) { t[c] = Placed(PairTable10, c < 0x80 ? c : up, 0); });

// The byte-1 table for each value of byte 3.
constexpr std::array<const std::uint32_t*, 256> ByteOneBySign = [] {
    std::array<const std::uint32_t*, 256> p{};
    for (int b = 0; b < 256; ++b)
        p[b] = b < 0x80 ? Byte1.data() : Byte1Neg.data();
    return p;
}();

// y xor f for the sum s. For one block: its round is a chain of latencies, and a conditional
// move picks the byte-1 table without waiting for anything.
constexpr std::uint32_t RoundSerial(std::uint32_t y, std::uint32_t s) noexcept {
    const bool negative = static_cast<std::int32_t>(s) < 0;
    // Unpredictable by nature: ask for a conditional move, not a branch. Before the test of
    // the low byte, so that the move can use the flags of the addition.
    const std::uint32_t* one = __builtin_expect_with_probability(negative, true, 0.5) ? Byte1Neg.data() : Byte1.data();
    if (static_cast<std::uint8_t>(s) == 0) [[unlikely]] {
        return y ^ BySignedDivision(s);
    }
    const std::uint64_t w = s;  // indexes computed in 64 bits need no separate widening
    return ((y ^ Byte0[w & 0xFF]) ^ Byte3[w >> 24]) ^ (one[(w >> 8) & 0xFF] ^ Byte2[(w >> 16) & 0x80FF]);
}

// The same for blocks side by side, where arithmetic units are the bound: the byte-1 table
// comes from a look-up on byte 3 instead of a test and a move.
constexpr std::uint32_t RoundLane(std::uint32_t y, std::uint32_t s) noexcept {
    if (static_cast<std::uint8_t>(s) == 0) [[unlikely]] {
        return y ^ BySignedDivision(s);
    }
    const std::uint64_t w = s;  // indexes computed in 64 bits need no separate widening
    const std::uint64_t b3 = w >> 24;
    return ((y ^ Byte0[w & 0xFF]) ^ Byte3[b3]) ^ (ByteOneBySign[b3][(w >> 8) & 0xFF] ^ Byte2[(w >> 16) & 0x80FF]);
}

constexpr bool RoundsMatchDivision() {
    constexpr std::uint32_t edges[] = {0u,          1u,          0x7FFFFFFFu, 0x80000000u, 0x80000001u,
                                       0xFFFFFFFFu, 0xFFFFFF00u, 0xFFFF0000u, 0xFF000000u, 0x80000100u,
                                       0x80010000u, 0x81000000u, 0xC0FF00FFu, 0x7F0000FFu, 0x800000FFu};
    for (std::uint32_t s : edges) {
        if (RoundSerial(0, s) != BySignedDivision(s) || RoundLane(0, s) != BySignedDivision(s))
            return false;
    }
    std::uint32_t s = 12345;
    for (int i = 0; i < 3000; ++i) {
        s = s * 1664525u + 1013904223u;
        if (RoundSerial(0, s) != BySignedDivision(s) || RoundLane(0, s) != BySignedDivision(s))
            return false;
    }
    return true;
}
static_assert(RoundsMatchDivision());

// Subkey order of the 32 rounds.
constexpr std::uint8_t kEncryptOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7,
                                            0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
constexpr std::uint8_t kDecryptOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0,
                                            7, 6, 5, 4, 3, 2, 1, 0, 7, 6, 5, 4, 3, 2, 1, 0};

// Odd rounds change y by f(x), even rounds x by f(y): encryption passes (A, B) and its keys,
// decryption (B, A) and its keys. No exchange at the end.
inline void CryptOne(const std::uint32_t* k, std::uint32_t& x, std::uint32_t& y) noexcept {
#pragma GCC unroll 16
    for (int r = 0; r < 32; r += 2) {
        y = RoundSerial(y, Module1::UnsignedAdd(x, k[r]));
        x = RoundSerial(x, Module1::UnsignedAdd(y, k[r + 1]));
    }
}

// N blocks side by side. The round loop stays rolled so that the code fits the decoded-op
// cache; unrolled, decoding becomes the bound.
template <std::size_t N>
inline void CryptLanes(const std::uint32_t* k, std::uint32_t (&x)[N], std::uint32_t (&y)[N]) noexcept {
#pragma GCC unroll 1
    for (int r = 0; r < 32; r += 2) {
        const std::uint32_t k0 = k[r], k1 = k[r + 1];
#pragma GCC unroll 8
        for (std::size_t b = 0; b < N; ++b)
            y[b] = RoundLane(y[b], Module1::UnsignedAdd(x[b], k0));
#pragma GCC unroll 8
        for (std::size_t b = 0; b < N; ++b)
            x[b] = RoundLane(x[b], Module1::UnsignedAdd(y[b], k1));
    }
}

}  // namespace

clsGost::clsGost() noexcept = default;

clsGost::~clsGost() {
    SecureWipe(SubKey.data(), sizeof SubKey);
    SecureWipe(CurrentKey);
}

std::uint32_t clsGost::RoundFunction(std::uint32_t x, std::uint32_t k) noexcept {
    return RoundSerial(0, Module1::UnsignedAdd(x, k));
}

void clsGost::Key(std::u16string_view New_Value) {
    if (New_Value == CurrentKey) {
        return;
    }
    // Everything that can fail comes first, so that a refused key changes nothing.
    // The conversion first: a copy of the key text made before a refusal would go unwiped.
    ByteArray bytes = AnsiCodePage::NormalizedTextToBytes(New_Value);
    KeyText next(New_Value);
    const std::size_t n = bytes.size();
    if (n == 0) {
        throw Failure(FailureKind::EmptyGostKey);
    }
    std::uint8_t key[32];
    for (std::size_t i = 0; i < 32; ++i)
        key[i] = bytes[i % n];
    SecureWipe(bytes);
    std::uint32_t words[8];
    for (int j = 0; j < 8; ++j)
        words[j] = Module1::LoadLE32(key + 4 * j);
    for (int r = 0; r < 32; ++r) {
        SubKey[r] = words[kEncryptOrder[r]];
        SubKey[32 + r] = words[kDecryptOrder[r]];
    }
    SecureWipe(key, sizeof key);
    SecureWipe(words, sizeof words);
    ReplaceKeyText(CurrentKey, next);
}

TAVORIN_KEEP_XOR_TREES void clsGost::EncryptBlock(std::uint8_t* block) noexcept {
    const std::span<std::uint8_t, 8> bytes(block, 8);
    std::uint32_t a, b;
    Module1::GetWord(a, bytes, 0);
    Module1::GetWord(b, bytes, 4);
    CryptOne(SubKey.data(), a, b);
    Module1::PutWord(a, bytes, 0);
    Module1::PutWord(b, bytes, 4);
}

TAVORIN_KEEP_XOR_TREES void clsGost::DecryptBlock(std::uint8_t* block) noexcept {
    const std::span<std::uint8_t, 8> bytes(block, 8);
    std::uint32_t a, b;
    Module1::GetWord(a, bytes, 0);
    Module1::GetWord(b, bytes, 4);
    CryptOne(SubKey.data() + 32, b, a);
    Module1::PutWord(a, bytes, 0);
    Module1::PutWord(b, bytes, 4);
}

TAVORIN_KEEP_XOR_TREES void clsGost::EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks,
                                                      std::uint8_t* prev) noexcept {
    EncryptCBCWords(data, blocks, prev, [this](std::uint32_t& a, std::uint32_t& b) { CryptOne(SubKey.data(), a, b); });
}

void clsGost::DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept {
    const std::uint32_t* keys = SubKey.data() + 32;
    DecryptCBCInterleaved<6>(data, blocks, prev, [keys]<std::size_t M>(std::uint32_t(&a)[M], std::uint32_t(&b)[M]) {
        if constexpr (M == 1) {
            CryptOne(keys, b[0], a[0]);
        } else {
            CryptLanes<M>(keys, b, a);
        }
    });
}

}  // namespace tavorin

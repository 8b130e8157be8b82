#include "engines/clsDES.h"

#include <bit>
#include <type_traits>

#include "base/AnsiCodePage.h"
#include "engines/Helpers.h"

// DES the fast way. The standard's tables below are used only at compile time: they build the
// eight combined S-box/permutation tables and are checked against the swap networks that
// replace the initial and final permutations.
//
// Working form of a half: the 32-bit value (standard bit 1 = most significant) rotated left
// by 3. Then R xor key gives the inputs of S-boxes 8, 6, 4, 2 at bits 2..7 of bytes 0..3, and
// R rotated left by 4 more, xor key, those of S-boxes 1, 7, 5, 3. Each byte indexes a
// 256-entry table (the two low bits are don't-cares) whose entry is that S-box's output
// through P, already in working form.

namespace tavorin {

template class FramedEngine<clsDES, 8>;

namespace {

using Schedule = std::array<std::uint32_t, 32>;

// Standard tables, bit numbers counted from 1.
constexpr std::uint8_t kIP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                                  62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                                  57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                                  61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr std::uint8_t kE[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                                 12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                                 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

constexpr std::uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                 2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::uint8_t kPC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                                   35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                                   46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::uint8_t kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                                   26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                                   51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr std::uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S1..S8, each 4 rows of 16.
constexpr std::uint8_t kS[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8, 14, 6,  11, 3,  4, 9, 7, 2,  13, 12, 0, 5, 10, 3,  13, 4,  7, 15, 2,  8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0,  14, 7, 11, 10, 4,  13, 1, 5, 8, 12, 6,  9,  3, 2, 15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0, 8, 13, 3,  12, 9, 7, 5, 10, 6, 1, 13, 0,  11, 7, 4, 9, 1,  10, 14, 3, 5, 12, 2,  15, 8, 6,
     1, 4,  11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5,  9, 2, 6,  11, 13, 8, 1, 4, 10, 7,  9,  5, 0, 15, 14, 2,  3, 12},
    {13, 2, 8, 4, 6,  15, 11, 1, 10, 9,  3,  14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7,  4,  12, 5, 6, 11, 0, 14, 9, 2, 7,
     11, 4, 1, 9, 12, 14, 2,  0, 6,  10, 13, 15, 3, 5, 8,  2, 1, 14, 7,  4, 10, 8, 13, 15, 12, 9, 0, 3,  5, 6,  11}};

constexpr bool EveryRowIsAPermutation() {
    for (const auto& box : kS) {
        for (int row = 0; row < 4; ++row) {
            unsigned seen = 0;
            for (int col = 0; col < 16; ++col)
                seen |= 1u << box[row * 16 + col];
            if (seen != 0xFFFFu)
                return false;
        }
    }
    return true;
}
static_assert(EveryRowIsAPermutation());

// Where S-box s (0-based) reads its six inputs: which work word (0: R, 1: R rotated left by 4
// more) and which byte of it.
constexpr int kWord[8] = {1, 0, 1, 0, 1, 0, 1, 0};
constexpr int kByte[8] = {0, 3, 3, 2, 2, 1, 1, 0};
constexpr int kWorkRotation[2] = {3, 7};  // of the plain half

// The layout above is the expansion E: input t of S-box s (t = 0 most significant) lands at
// bit 2 + 5 - t of its byte.
constexpr bool LayoutMatchesExpansion() {
    for (int s = 0; s < 8; ++s) {
        for (int t = 0; t < 6; ++t) {
            const int bit = kE[6 * s + t];  // standard numbering of R
            const int at = (32 - bit + kWorkRotation[kWord[s]]) % 32;
            if (at != 8 * kByte[s] + 2 + 5 - t)
                return false;
        }
    }
    return true;
}
static_assert(LayoutMatchesExpansion());

// Combined tables, indexed by work word * 4 + byte.
using SPTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr SPTables MakeSP() {
    SPTables sp{};
    for (int s = 0; s < 8; ++s) {
        for (int b = 0; b < 256; ++b) {
            const int g = b >> 2;
            const int row = ((g >> 4) & 2) | (g & 1);
            const int col = (g >> 1) & 15;
            const std::uint32_t out = std::uint32_t{kS[s][row * 16 + col]} << (28 - 4 * s);
            std::uint32_t f = 0;
            for (int i = 0; i < 32; ++i) {
                if ((out >> (32 - kP[i])) & 1u)
                    f |= 1u << (31 - i);
            }
            sp[kWord[s] * 4 + kByte[s]][b] = std::rotl(f, 3);
        }
    }
    return sp;
}

constexpr SPTables SP = MakeSP();

// One exchange of bit groups: the bits of a at mask << n trade places with the bits of b at
// mask. Its own inverse.
constexpr void SwapBits(std::uint32_t& a, std::uint32_t& b, int n, std::uint32_t mask) noexcept {
    const std::uint32_t t = ((a >> n) ^ b) & mask;
    b ^= t;
    a ^= t << n;
}

// IP on the block as two big-endian words; gives L0, R0.
constexpr void InitialPermutation(std::uint32_t& hi, std::uint32_t& lo) noexcept {
    SwapBits(hi, lo, 4, 0x0F0F0F0Fu);
    SwapBits(hi, lo, 16, 0x0000FFFFu);
    SwapBits(lo, hi, 2, 0x33333333u);
    SwapBits(lo, hi, 8, 0x00FF00FFu);
    SwapBits(hi, lo, 1, 0x55555555u);
}

constexpr void FinalPermutation(std::uint32_t& hi, std::uint32_t& lo) noexcept {
    SwapBits(hi, lo, 1, 0x55555555u);
    SwapBits(lo, hi, 8, 0x00FF00FFu);
    SwapBits(lo, hi, 2, 0x33333333u);
    SwapBits(hi, lo, 16, 0x0000FFFFu);
    SwapBits(hi, lo, 4, 0x0F0F0F0Fu);
}

// Both networks are bit permutations, so checking every single-bit input proves them.
constexpr bool NetworksMatchTables() {
    for (int i = 1; i <= 64; ++i) {
        const std::uint64_t in = std::uint64_t{1} << (64 - i);
        std::uint32_t hi = static_cast<std::uint32_t>(in >> 32);
        std::uint32_t lo = static_cast<std::uint32_t>(in);
        InitialPermutation(hi, lo);
        const std::uint64_t out = (std::uint64_t{hi} << 32) | lo;
        std::uint64_t want = 0;
        for (int j = 1; j <= 64; ++j) {
            if (kIP[j - 1] == i)
                want |= std::uint64_t{1} << (64 - j);
        }
        if (out != want)
            return false;
        FinalPermutation(hi, lo);
        if (((std::uint64_t{hi} << 32) | lo) != in)
            return false;
    }
    return true;
}
static_assert(NetworksMatchTables());

// The round keys of an 8-byte key, in working form.
constexpr void MakeSchedule(const std::uint8_t (&key)[8], Schedule& out) noexcept {
    std::uint8_t cd[56] = {};
    for (int i = 0; i < 56; ++i) {
        const int bit = kPC1[i] - 1;
        cd[i] = static_cast<std::uint8_t>((key[bit / 8] >> (7 - bit % 8)) & 1);
    }
    for (int r = 0; r < 16; ++r) {
        for (int n = 0; n < kShifts[r]; ++n) {
            const std::uint8_t c0 = cd[0];
            const std::uint8_t d0 = cd[28];
            for (int i = 0; i < 27; ++i) {
                cd[i] = cd[i + 1];
                cd[28 + i] = cd[29 + i];
            }
            cd[27] = c0;
            cd[55] = d0;
        }
        std::uint32_t words[2] = {0, 0};
        for (int s = 0; s < 8; ++s) {
            for (int t = 0; t < 6; ++t) {
                if (cd[kPC2[6 * s + t] - 1])
                    words[kWord[s]] |= 1u << (8 * kByte[s] + 7 - t);
            }
        }
        out[2 * r] = words[0];
        out[2 * r + 1] = words[1];
    }
    if (!std::is_constant_evaluated()) {
        SecureWipe(cd, sizeof cd);
    }
}

// One half round: into ^= f(from) with the keys of the round. The lookups of the even
// S-boxes start first (the odd ones wait for a rotation), so they are folded in first.
constexpr void HalfRound(std::uint32_t& into, std::uint32_t from, const std::uint32_t* k) noexcept {
    const std::uint32_t e = from ^ k[0];
    const std::uint32_t o = std::rotl(from, 4) ^ k[1];
    into = (into ^ ((SP[0][e & 0xFF] ^ SP[1][(e >> 8) & 0xFF]) ^ (SP[2][(e >> 16) & 0xFF] ^ SP[3][e >> 24]))) ^
           ((SP[4][o & 0xFF] ^ SP[5][(o >> 8) & 0xFF]) ^ (SP[6][(o >> 16) & 0xFF] ^ SP[7][o >> 24]));
}

// N blocks side by side, round by round, so that their table lookups overlap. Encryption
// takes the round keys forward, decryption backward. One block is unrolled whole; several
// keep the round loop rolled, so that the code fits the decoded-op cache.
template <std::size_t N, bool Decrypt>
constexpr void Crypt(const Schedule& keys, std::uint32_t (&hi)[N], std::uint32_t (&lo)[N]) noexcept {
    std::uint32_t l[N], r[N];
    for (std::size_t b = 0; b < N; ++b) {
        InitialPermutation(hi[b], lo[b]);
        l[b] = std::rotl(hi[b], 3);
        r[b] = std::rotl(lo[b], 3);
    }
    const auto round = [&](int i) {
        const std::uint32_t* k0 = keys.data() + 2 * (Decrypt ? 15 - i : i);
        const std::uint32_t* k1 = keys.data() + 2 * (Decrypt ? 14 - i : i + 1);
#pragma GCC unroll 8
        for (std::size_t b = 0; b < N; ++b)
            HalfRound(l[b], r[b], k0);
#pragma GCC unroll 8
        for (std::size_t b = 0; b < N; ++b)
            HalfRound(r[b], l[b], k1);
    };
    if constexpr (N == 1) {
#pragma GCC unroll 8
        for (int i = 0; i < 16; i += 2)
            round(i);
    } else {
#pragma GCC unroll 1
        for (int i = 0; i < 16; i += 2)
            round(i);
    }
    // The halves leave exchanged: R16 L16.
    for (std::size_t b = 0; b < N; ++b) {
        hi[b] = std::rotr(r[b], 3);
        lo[b] = std::rotr(l[b], 3);
        FinalPermutation(hi[b], lo[b]);
    }
}

constexpr std::uint64_t KnownAnswer(std::uint64_t key, std::uint64_t plain) {
    std::uint8_t k[8] = {};
    for (int i = 0; i < 8; ++i)
        k[i] = static_cast<std::uint8_t>(key >> (56 - 8 * i));
    Schedule s{};
    MakeSchedule(k, s);
    std::uint32_t hi[1] = {static_cast<std::uint32_t>(plain >> 32)};
    std::uint32_t lo[1] = {static_cast<std::uint32_t>(plain)};
    Crypt<1, false>(s, hi, lo);
    return (std::uint64_t{hi[0]} << 32) | lo[0];
}
static_assert(KnownAnswer(0x133457799BBCDFF1u, 0x0123456789ABCDEFu) == 0x85E813540F0AB405u);

}  // namespace

clsDES::clsDES() noexcept = default;

clsDES::~clsDES() {
    SecureWipe(SubKeys.data(), sizeof SubKeys);
    SecureWipe(CurrentKey);
}

void clsDES::Key(std::u16string_view New_Value) {
    if (New_Value == CurrentKey) {
        return;
    }
    // Everything that can fail comes first, so that a refused key changes nothing.
    // The conversion first: a copy of the key text made before a refusal would go unwiped.
    ByteArray bytes = AnsiCodePage::NormalizedTextToBytes(New_Value);
    KeyText next(New_Value);
    std::uint8_t key[8] = {};
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i)
        key[i] = bytes[i];
    SecureWipe(bytes);
    MakeSchedule(key, SubKeys);
    SecureWipe(key, sizeof key);
    ReplaceKeyText(CurrentKey, next);
}

TAVORIN_KEEP_XOR_TREES void clsDES::EncryptBlock(std::uint8_t* block) noexcept {
    std::uint32_t hi[1] = {Module1::LoadBE32(block)};
    std::uint32_t lo[1] = {Module1::LoadBE32(block + 4)};
    Crypt<1, false>(SubKeys, hi, lo);
    Module1::StoreBE32(block, hi[0]);
    Module1::StoreBE32(block + 4, lo[0]);
}

TAVORIN_KEEP_XOR_TREES void clsDES::DecryptBlock(std::uint8_t* block) noexcept {
    std::uint32_t hi[1] = {Module1::LoadBE32(block)};
    std::uint32_t lo[1] = {Module1::LoadBE32(block + 4)};
    Crypt<1, true>(SubKeys, hi, lo);
    Module1::StoreBE32(block, hi[0]);
    Module1::StoreBE32(block + 4, lo[0]);
}

TAVORIN_KEEP_XOR_TREES void clsDES::EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks,
                                                     std::uint8_t* prev) noexcept {
    EncryptCBCWords(data, blocks, prev, [this](std::uint32_t& hi, std::uint32_t& lo) {
        std::uint32_t h[1] = {hi}, l[1] = {lo};
        Crypt<1, false>(SubKeys, h, l);
        hi = h[0];
        lo = l[0];
    });
}

void clsDES::DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept {
    DecryptCBCInterleaved<4>(data, blocks, prev, [this]<std::size_t M>(std::uint32_t(&hi)[M], std::uint32_t(&lo)[M]) {
        Crypt<M, true>(SubKeys, hi, lo);
    });
}

}  // namespace tavorin

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
// For s >= 0 the c are the bytes of s. For s < 0 they are the bytes of s - 1, each plus 1
// modulo 256 (the quotient of -m by 256^i is -(m >> 8i), whose low byte is the negated byte
// i of m = -s, and negating a byte is complementing it and adding 1, while ~m = s - 1). So
// each round looks up the bytes of s or of s - 1 in one of two sets of four tables, with the
// substitution, placement and rotation folded in; s - 1 comes from a second subkey, k - 1.

namespace tavorin {

namespace {

constexpr std::uint8_t SBox[8][16] = {
    {6, 5, 1, 7, 14, 0, 4, 10, 11, 9, 3, 13, 8, 12, 2, 15},
    {14, 13, 9, 0, 8, 10, 12, 4, 7, 15, 6, 11, 3, 1, 5, 2},
    {6, 5, 1, 7, 2, 4, 10, 0, 11, 13, 14, 3, 8, 12, 15, 9},
    {8, 7, 3, 9, 6, 4, 14, 5, 2, 13, 0, 12, 1, 11, 10, 15},
    {10, 9, 6, 11, 5, 1, 8, 4, 0, 13, 7, 2, 14, 3, 15, 12},
    {5, 3, 0, 6, 11, 13, 4, 14, 10, 7, 1, 12, 2, 8, 15, 9},
    {2, 1, 12, 3, 11, 13, 15, 7, 10, 6, 9, 14, 0, 8, 4, 5},
    {6, 5, 1, 7, 8, 9, 4, 2, 15, 3, 13, 12, 10, 14, 11, 0}};

constexpr bool EveryRowIsAPermutation() {
    for (const auto& row : SBox) {
        unsigned seen = 0;
        for (std::uint8_t v : row) seen |= 1u << v;
        if (seen != 0xFFFFu) return false;
    }
    return true;
}
static_assert(EveryRowIsAPermutation());

using PairTable = std::array<std::uint8_t, 256>;

// A whole byte through two rows: the high nibble through the higher row.
constexpr PairTable MakePair(int high, int low) {
    PairTable t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(16 * SBox[high][i / 16] + SBox[low][i % 16]);
    return t;
}

constexpr PairTable PairTable76 = MakePair(7, 6);
constexpr PairTable PairTable54 = MakePair(5, 4);
constexpr PairTable PairTable32 = MakePair(3, 2);
constexpr PairTable PairTable10 = MakePair(1, 0);

// Eight tables of 256: [0..3] by bytes 0..3 of s, for s >= 0; [4..7] by bytes 0..3 of s - 1,
// for s < 0.
using RoundTables = std::array<std::uint32_t, 8 * 256>;

constexpr RoundTables MakeRoundTables() {
    RoundTables t{};
    for (int c = 0; c < 256; ++c) {
        t[c] = std::rotl(std::uint32_t{PairTable76[c]} << 24, 11);
        t[256 + c] = std::rotl(std::uint32_t{PairTable54[c]} << 16, 11);
        t[512 + c] = std::rotl(std::uint32_t{PairTable32[c]} << 8, 11);
        t[768 + c] = std::rotl(std::uint32_t{PairTable10[c]}, 11);
    }
    for (int i = 0; i < 4; ++i) {
        for (int b = 0; b < 256; ++b) t[1024 + 256 * i + b] = t[256 * i + ((b + 1) & 0xFF)];
    }
    return t;
}

constexpr RoundTables Tables = MakeRoundTables();

// km1 = k - 1.
constexpr std::uint32_t F(std::uint32_t x, std::uint32_t k, std::uint32_t km1) noexcept {
    const std::uint32_t s = x + k;
    const bool negative = static_cast<std::int32_t>(s) < 0;
    const std::uint32_t v = negative ? x + km1 : s;
    const std::uint32_t* t = Tables.data() + (negative ? 1024 : 0);
    return (t[v & 0xFF] ^ t[256 + ((v >> 8) & 0xFF)]) ^ (t[512 + ((v >> 16) & 0xFF)] ^ t[768 + (v >> 24)]);
}

// The sums where the byte split departs from the plain bytes, against the division itself.
constexpr std::uint32_t Literal(std::uint32_t s) noexcept {
    auto q = static_cast<std::int32_t>(s);
    std::uint8_t c[4] = {};
    for (int i = 0; i < 4; ++i) {
        c[i] = static_cast<std::uint8_t>(q & 0xFF);
        q /= 256;
    }
    const std::uint32_t y = std::uint32_t{PairTable10[c[3]]} | std::uint32_t{PairTable32[c[2]]} << 8 |
                            std::uint32_t{PairTable54[c[1]]} << 16 | std::uint32_t{PairTable76[c[0]]} << 24;
    return std::rotl(y, 11);
}
constexpr bool SplitMatchesDivision() {
    constexpr std::uint32_t sums[] = {0u,          1u,          0x7FFFFFFFu, 0x80000000u, 0x80000001u,
                                      0xFFFFFFFFu, 0xFFFFFF00u, 0xFFFF0000u, 0xFF000000u, 0x80000100u,
                                      0x80010000u, 0x81000000u, 0xC0FF00FFu, 0x12345678u, 0x87654321u};
    for (std::uint32_t s : sums) {
        if (F(s, 0, 0xFFFFFFFFu) != Literal(s) || F(0, s, s - 1) != Literal(s)) return false;
    }
    return true;
}
static_assert(SplitMatchesDivision());

// Subkey order of the 32 rounds.
constexpr std::uint8_t kEncryptOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7,
                                            0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
constexpr std::uint8_t kDecryptOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0,
                                            7, 6, 5, 4, 3, 2, 1, 0, 7, 6, 5, 4, 3, 2, 1, 0};

using Schedule = std::array<std::uint32_t, 16>;

// N blocks side by side, round by round. Odd rounds change y by f(x), even rounds x by f(y);
// encryption passes (A, B), decryption (B, A). No exchange at the end.
template <std::size_t N>
inline void Crypt(const Schedule& keys, const std::uint8_t (&order)[32], std::uint32_t (&x)[N],
                  std::uint32_t (&y)[N]) noexcept {
#pragma GCC unroll 16
    for (int r = 0; r < 32; r += 2) {
        const std::uint32_t k0 = keys[order[r]], k0m1 = keys[8 + order[r]];
        const std::uint32_t k1 = keys[order[r + 1]], k1m1 = keys[8 + order[r + 1]];
        for (std::size_t b = 0; b < N; ++b) y[b] ^= F(x[b], k0, k0m1);
        for (std::size_t b = 0; b < N; ++b) x[b] ^= F(y[b], k1, k1m1);
    }
}

constexpr Schedule Expand(const std::uint32_t (&k)[8]) noexcept {
    Schedule s{};
    for (int j = 0; j < 8; ++j) {
        s[j] = k[j];
        s[8 + j] = k[j] - 1;
    }
    return s;
}

} // namespace

clsGost::clsGost() noexcept : SubKey(Expand({0, 0, 0, 0, 0, 0, 0, 0})) {}

clsGost::~clsGost() {
    SecureWipe(SubKey.data(), sizeof SubKey);
    SecureWipe(CurrentKey);
}

std::uint32_t clsGost::RoundFunction(std::uint32_t x, std::uint32_t k) noexcept { return F(x, k, k - 1); }

void clsGost::Key(std::u16string_view New_Value) {
    if (New_Value == CurrentKey) {
        return;
    }
    // Everything that can fail comes first, so that a refused key changes nothing.
    std::u16string next(New_Value);
    ByteArray bytes = AnsiCodePage::NormalizedTextToBytes(New_Value);
    const std::size_t n = bytes.size();
    if (n == 0) {
        throw Failure(Failure::DivisionByZero, "Division by zero");
    }
    std::uint8_t key[32];
    for (std::size_t i = 0; i < 32; ++i) key[i] = bytes[i % n];
    SecureWipe(bytes);
    std::uint32_t words[8];
    for (int j = 0; j < 8; ++j) words[j] = Module1::LoadLE32(key + 4 * j);
    SubKey = Expand(words);
    SecureWipe(key, sizeof key);
    SecureWipe(words, sizeof words);
    ReplaceKeyText(CurrentKey, next);
}

void clsGost::EncryptBlock(std::uint8_t* block) noexcept {
    std::uint32_t a[1] = {Module1::LoadBE32(block)};
    std::uint32_t b[1] = {Module1::LoadBE32(block + 4)};
    Crypt<1>(SubKey, kEncryptOrder, a, b);
    Module1::StoreBE32(block, a[0]);
    Module1::StoreBE32(block + 4, b[0]);
}

void clsGost::DecryptBlock(std::uint8_t* block) noexcept {
    std::uint32_t a[1] = {Module1::LoadBE32(block)};
    std::uint32_t b[1] = {Module1::LoadBE32(block + 4)};
    Crypt<1>(SubKey, kDecryptOrder, b, a);
    Module1::StoreBE32(block, a[0]);
    Module1::StoreBE32(block + 4, b[0]);
}

void clsGost::DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept {
    DecryptCBCInterleaved<4>(data, blocks, prev, [this]<std::size_t M>(std::uint32_t(&a)[M], std::uint32_t(&b)[M]) {
        Crypt<M>(SubKey, kDecryptOrder, b, a);
    });
}

} // namespace tavorin

#include "engines/clsTwofish.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/Module1.h"

namespace tavorin {

template class FramedEngine<clsTwofish, 16>;

namespace {

using Permutation = std::array<std::uint8_t, 256>;

// q0 and q1, each built from its four 4-bit tables.
constexpr std::array<Permutation, 2> MakeQTable() {
    constexpr std::uint8_t t[2][4][16] = {
        {{0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
         {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
         {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
         {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA}},
        {{0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
         {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
         {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
         {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA}}};
    auto ror4 = [](unsigned v) { return ((v >> 1) | (v << 3)) & 0xF; };
    std::array<Permutation, 2> q{};
    for (unsigned which = 0; which < 2; ++which) {
        for (unsigned x = 0; x < 256; ++x) {
            unsigned a = x >> 4, b = x & 0xF;
            for (unsigned half = 0; half < 2; ++half) {
                const unsigned a1 = a ^ b;
                const unsigned b1 = (a ^ ror4(b) ^ (8 * a)) & 0xF;
                a = t[which][2 * half][a1];
                b = t[which][2 * half + 1][b1];
            }
            q[which][x] = static_cast<std::uint8_t>(16 * b + a);
        }
    }
    return q;
}

constexpr std::array<Permutation, 2> QTable = MakeQTable();
static_assert(QTable[0][0] == 0xA9 && QTable[0][1] == 0x67 && QTable[0][2] == 0xB3 && QTable[0][3] == 0xE8);
static_assert(QTable[1][0] == 0x75 && QTable[1][1] == 0xF3 && QTable[1][2] == 0xC6 && QTable[1][3] == 0xF4);

// y/2 and y/4 in GF(2^8) modulo x^8 + x^6 + x^5 + x^3 + 1.
constexpr std::uint32_t FieldHalf(std::uint32_t y) { return (y >> 1) ^ ((y & 1) ? 0xB4u : 0u); }
constexpr std::uint32_t FieldQuarter(std::uint32_t y) {
    return (y >> 2) ^ ((y & 2) ? 0xB4u : 0u) ^ ((y & 1) ? 0x5Au : 0u);
}

// Entry x of table j: the final permutation of byte position j (q1, q0, q1, q0) and that
// byte's column of the MDS matrix, byte i of the word being row i.
constexpr std::array<std::array<std::uint32_t, 256>, 4> MakeMdsTable() {
    std::array<std::array<std::uint32_t, 256>, 4> m{};
    for (std::uint32_t x = 0; x < 256; ++x) {
        for (std::uint32_t j = 0; j < 4; ++j) {
            const std::uint32_t y = QTable[(j & 1) ? 0 : 1][x];
            const std::uint32_t y5B = y ^ FieldQuarter(y);
            const std::uint32_t yEF = y ^ FieldHalf(y) ^ FieldQuarter(y);
            // Columns of   01 EF 5B 5B / 5B EF EF 01 / EF 5B 01 EF / EF 01 EF 5B
            const std::uint32_t column[4][4] = {
                {y, y5B, yEF, yEF}, {yEF, yEF, y5B, y}, {y5B, yEF, y, yEF}, {y5B, y, yEF, y5B}};
            m[j][x] = column[j][0] | (column[j][1] << 8) | (column[j][2] << 16) | (column[j][3] << 24);
        }
    }
    return m;
}

constexpr std::array<std::array<std::uint32_t, 256>, 4> MdsTable = MakeMdsTable();

// The permutation of byte position j in stage s (s = 0 takes key word 0 and comes last).
constexpr std::uint8_t StageQ[4][4] = {{0, 0, 1, 1}, {0, 1, 0, 1}, {1, 1, 0, 0}, {1, 0, 0, 1}};

// Byte position j of h before the MDS step: the stages k-1 .. 0 with key words L.
constexpr std::uint32_t HChain(std::uint32_t x, std::uint32_t j, const std::uint32_t* L, std::size_t k) {
    for (std::size_t s = k; s-- > 0;) {
        x = QTable[StageQ[s][j]][x] ^ ((L[s] >> (8 * j)) & 0xFF);
    }
    return x;
}

constexpr std::uint32_t KeyedH(std::uint32_t X, const std::uint32_t* L, std::size_t k) {
    std::uint32_t r = 0;
    for (std::uint32_t j = 0; j < 4; ++j) {
        r ^= MdsTable[j][HChain((X >> (8 * j)) & 0xFF, j, L, k)];
    }
    return r;
}

// One step of the remainder modulo the RS code's generator (x^8 + x^6 + x^3 + x^2 + 1).
constexpr std::uint32_t RsRemainderStep(std::uint32_t w) {
    const std::uint32_t b = w >> 24;
    const std::uint32_t g2 = ((b << 1) ^ ((b & 0x80) ? 0x14Du : 0u)) & 0xFF;
    const std::uint32_t g3 = (b >> 1) ^ ((b & 1) ? 0xA6u : 0u) ^ g2;
    return (w << 8) ^ (g3 << 24) ^ (g2 << 16) ^ (g3 << 8) ^ b;
}

// The RS code of eight key bytes (even word, odd word).
constexpr std::uint32_t RsCode(std::uint32_t even, std::uint32_t odd) {
    std::uint32_t r = odd;
    for (int i = 0; i < 4; ++i)
        r = RsRemainderStep(r);
    r ^= even;
    for (int i = 0; i < 4; ++i)
        r = RsRemainderStep(r);
    return r;
}

using SBoxes = const std::array<std::array<std::uint32_t, 256>, 4>&;

// g of X rotated left by 8r bits. The byte indexes come from a 64-bit copy, which spares the
// compiler some zero-extensions.
template <unsigned r>
inline std::uint32_t RotatedG(SBoxes t, std::uint32_t x) noexcept {
    const std::uint64_t v = x;
    return t[0][(v >> (8 * (r % 4))) & 0xFF] ^ t[1][(v >> (8 * ((r + 1) % 4))) & 0xFF] ^
           t[2][(v >> (8 * ((r + 2) % 4))) & 0xFF] ^ t[3][(v >> (8 * ((r + 3) % 4))) & 0xFF];
}

[[gnu::always_inline]] inline void Encrypt(SBoxes t, const std::uint32_t* K, std::uint32_t (&w)[4]) noexcept {
    std::uint32_t r0 = w[0] ^ K[0], r1 = w[1] ^ K[1], r2 = w[2] ^ K[2], r3 = w[3] ^ K[3];
    // Two rounds per step, the pairs taking turns instead of changing places.
    for (std::size_t i = 8; i < 40; i += 4) {
        std::uint32_t t0 = RotatedG<0>(t, r0), t1 = RotatedG<3>(t, r1);
        r2 = std::rotr(r2 ^ (t0 + t1 + K[i]), 1);
        r3 = std::rotl(r3, 1) ^ (t0 + 2 * t1 + K[i + 1]);
        t0 = RotatedG<0>(t, r2);
        t1 = RotatedG<3>(t, r3);
        r0 = std::rotr(r0 ^ (t0 + t1 + K[i + 2]), 1);
        r1 = std::rotl(r1, 1) ^ (t0 + 2 * t1 + K[i + 3]);
    }
    w[0] = r2 ^ K[4];
    w[1] = r3 ^ K[5];
    w[2] = r0 ^ K[6];
    w[3] = r1 ^ K[7];
}

// N independent blocks round by round, so that their table lookups overlap.
template <std::size_t N>
inline void DecryptLanes(SBoxes t, const std::uint32_t* K, std::uint32_t (&w)[N][4]) noexcept {
    std::uint32_t r0[N], r1[N], r2[N], r3[N];
    for (std::size_t n = 0; n < N; ++n) {
        r0[n] = w[n][2] ^ K[6];
        r1[n] = w[n][3] ^ K[7];
        r2[n] = w[n][0] ^ K[4];
        r3[n] = w[n][1] ^ K[5];
    }
    for (std::size_t i = 36; i >= 8; i -= 4) {
        for (std::size_t n = 0; n < N; ++n) {
            const std::uint32_t t0 = RotatedG<0>(t, r2[n]), t1 = RotatedG<3>(t, r3[n]);
            r0[n] = std::rotl(r0[n], 1) ^ (t0 + t1 + K[i + 2]);
            r1[n] = std::rotr(r1[n] ^ (t0 + 2 * t1 + K[i + 3]), 1);
        }
        for (std::size_t n = 0; n < N; ++n) {
            const std::uint32_t t0 = RotatedG<0>(t, r0[n]), t1 = RotatedG<3>(t, r1[n]);
            r2[n] = std::rotl(r2[n], 1) ^ (t0 + t1 + K[i]);
            r3[n] = std::rotr(r3[n] ^ (t0 + 2 * t1 + K[i + 1]), 1);
        }
    }
    for (std::size_t n = 0; n < N; ++n) {
        w[n][0] = r0[n] ^ K[0];
        w[n][1] = r1[n] ^ K[1];
        w[n][2] = r2[n] ^ K[2];
        w[n][3] = r3[n] ^ K[3];
    }
}

// The CBC loops here are Twofish's own, not those of Helpers.h, which chain 8-byte blocks
// as two big-endian words: a Twofish block is 16 bytes, four little-endian words.
template <std::size_t N>
inline void DecryptGroupCBC(SBoxes t, const std::uint32_t* K, std::uint8_t* data, std::uint8_t* prev) noexcept {
    std::uint8_t cipher[N * 16];
    std::memcpy(cipher, data, sizeof cipher);
    std::uint32_t w[N][4];
    for (std::size_t n = 0; n < N; ++n) {
        for (std::size_t i = 0; i < 4; ++i)
            w[n][i] = Module1::LoadLE32(cipher + 16 * n + 4 * i);
    }
    DecryptLanes<N>(t, K, w);
    for (std::size_t n = 0; n < N; ++n) {
        const std::uint8_t* chain = n == 0 ? prev : cipher + 16 * (n - 1);
        for (std::size_t i = 0; i < 4; ++i) {
            Module1::StoreLE32(data + 16 * n + 4 * i, w[n][i] ^ Module1::LoadLE32(chain + 4 * i));
        }
    }
    std::memcpy(prev, cipher + 16 * (N - 1), 16);
}

}  // namespace

clsTwofish::~clsTwofish() {
    SecureWipe(ExpandedKey.data(), sizeof ExpandedKey);
    SecureWipe(KeyedSBox.data(), sizeof KeyedSBox);
}

void clsTwofish::Key(std::u16string_view New_Value, std::int32_t MinKeyLength) {
    ByteArray text = AnsiCodePage::NormalizedTextToBytes(New_Value);
    // The size class follows the key's length in bits, or MinKeyLength when that is more.
    // Keys up to 64 bits, the empty one included, are zero-extended to 8 bytes, so that
    // every character of a short key counts.
    const std::int64_t bits = std::max<std::int64_t>(8 * static_cast<std::int64_t>(text.size()), MinKeyLength);
    const std::size_t size = bits > 192 ? 32 : bits > 128 ? 24 : bits > 64 ? 16 : 8;
    std::array<std::uint8_t, 32> key{};
    std::copy_n(text.begin(), std::min(size, text.size()), key.begin());
    SecureWipe(text);
    ScheduleKey(key.data(), size);
    SecureWipe(key.data(), key.size());
}

void clsTwofish::EnsureKeyed() const {
    if (!keyed_) {
        throw Failure(FailureKind::EmptyKey);
    }
}

void clsTwofish::ScheduleKey(const std::uint8_t* key, std::size_t n) noexcept {
    constexpr std::uint32_t rho = 0x01010101;
    const std::size_t k = n / 8;
    std::uint32_t even[4] = {}, odd[4] = {}, sbox[4] = {};
    for (std::size_t i = 0; i < k; ++i) {
        even[i] = Module1::LoadLE32(key + 8 * i);
        odd[i] = Module1::LoadLE32(key + 8 * i + 4);
        sbox[k - 1 - i] = RsCode(even[i], odd[i]);
    }
    for (std::uint32_t i = 0; i < 20; ++i) {
        const std::uint32_t a = KeyedH(2 * i * rho, even, k);
        const std::uint32_t b = std::rotl(KeyedH((2 * i + 1) * rho, odd, k), 8);
        ExpandedKey[2 * i] = a + b;
        ExpandedKey[2 * i + 1] = std::rotl(a + 2 * b, 9);
    }
    for (std::uint32_t j = 0; j < 4; ++j) {
        for (std::uint32_t x = 0; x < 256; ++x) {
            KeyedSBox[j][x] = MdsTable[j][HChain(x, j, sbox, k)];
        }
    }
    SecureWipe(even, sizeof even);
    SecureWipe(odd, sizeof odd);
    SecureWipe(sbox, sizeof sbox);
    keyed_ = true;
}

void clsTwofish::EncryptBlock(std::uint8_t* block) noexcept {
    std::uint32_t w[4];
    for (std::size_t i = 0; i < 4; ++i)
        w[i] = Module1::LoadLE32(block + 4 * i);
    Encrypt(KeyedSBox, ExpandedKey.data(), w);
    for (std::size_t i = 0; i < 4; ++i)
        Module1::StoreLE32(block + 4 * i, w[i]);
}

void clsTwofish::EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept {
    // The chaining block stays in registers from one block to the next.
    std::uint32_t w[4];
    for (std::size_t i = 0; i < 4; ++i)
        w[i] = Module1::LoadLE32(prev + 4 * i);
    for (std::size_t b = 0; b < blocks; ++b, data += 16) {
        for (std::size_t i = 0; i < 4; ++i)
            w[i] ^= Module1::LoadLE32(data + 4 * i);
        Encrypt(KeyedSBox, ExpandedKey.data(), w);
        for (std::size_t i = 0; i < 4; ++i)
            Module1::StoreLE32(data + 4 * i, w[i]);
    }
    for (std::size_t i = 0; i < 4; ++i)
        Module1::StoreLE32(prev + 4 * i, w[i]);
}

void clsTwofish::DecryptBlock(std::uint8_t* block) noexcept {
    std::uint32_t w[1][4];
    for (std::size_t i = 0; i < 4; ++i)
        w[0][i] = Module1::LoadLE32(block + 4 * i);
    DecryptLanes<1>(KeyedSBox, ExpandedKey.data(), w);
    for (std::size_t i = 0; i < 4; ++i)
        Module1::StoreLE32(block + 4 * i, w[0][i]);
}

void clsTwofish::DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept {
    constexpr std::size_t Lanes = 3;
    std::size_t i = 0;
    for (; i + Lanes <= blocks; i += Lanes) {
        DecryptGroupCBC<Lanes>(KeyedSBox, ExpandedKey.data(), data + 16 * i, prev);
    }
    for (; i < blocks; ++i) {
        DecryptGroupCBC<1>(KeyedSBox, ExpandedKey.data(), data + 16 * i, prev);
    }
}

}  // namespace tavorin

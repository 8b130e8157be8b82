#include "engines/clsSkipjack.h"

#include <cstring>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"

namespace tavorin {

template class FramedEngine<clsSkipjack, 8>;

namespace {

// The published F-table, a permutation of the bytes.
constexpr std::array<std::uint8_t, 256> FTable = {
    0xa3, 0xd7, 0x09, 0x83, 0xf8, 0x48, 0xf6, 0xf4, 0xb3, 0x21, 0x15, 0x78, 0x99, 0xb1, 0xaf, 0xf9, 0xe7, 0x2d, 0x4d,
    0x8a, 0xce, 0x4c, 0xca, 0x2e, 0x52, 0x95, 0xd9, 0x1e, 0x4e, 0x38, 0x44, 0x28, 0x0a, 0xdf, 0x02, 0xa0, 0x17, 0xf1,
    0x60, 0x68, 0x12, 0xb7, 0x7a, 0xc3, 0xe9, 0xfa, 0x3d, 0x53, 0x96, 0x84, 0x6b, 0xba, 0xf2, 0x63, 0x9a, 0x19, 0x7c,
    0xae, 0xe5, 0xf5, 0xf7, 0x16, 0x6a, 0xa2, 0x39, 0xb6, 0x7b, 0x0f, 0xc1, 0x93, 0x81, 0x1b, 0xee, 0xb4, 0x1a, 0xea,
    0xd0, 0x91, 0x2f, 0xb8, 0x55, 0xb9, 0xda, 0x85, 0x3f, 0x41, 0xbf, 0xe0, 0x5a, 0x58, 0x80, 0x5f, 0x66, 0x0b, 0xd8,
    0x90, 0x35, 0xd5, 0xc0, 0xa7, 0x33, 0x06, 0x65, 0x69, 0x45, 0x00, 0x94, 0x56, 0x6d, 0x98, 0x9b, 0x76, 0x97, 0xfc,
    0xb2, 0xc2, 0xb0, 0xfe, 0xdb, 0x20, 0xe1, 0xeb, 0xd6, 0xe4, 0xdd, 0x47, 0x4a, 0x1d, 0x42, 0xed, 0x9e, 0x6e, 0x49,
    0x3c, 0xcd, 0x43, 0x27, 0xd2, 0x07, 0xd4, 0xde, 0xc7, 0x67, 0x18, 0x89, 0xcb, 0x30, 0x1f, 0x8d, 0xc6, 0x8f, 0xaa,
    0xc8, 0x74, 0xdc, 0xc9, 0x5d, 0x5c, 0x31, 0xa4, 0x70, 0x88, 0x61, 0x2c, 0x9f, 0x0d, 0x2b, 0x87, 0x50, 0x82, 0x54,
    0x64, 0x26, 0x7d, 0x03, 0x40, 0x34, 0x4b, 0x1c, 0x73, 0xd1, 0xc4, 0xfd, 0x3b, 0xcc, 0xfb, 0x7f, 0xab, 0xe6, 0x3e,
    0x5b, 0xa5, 0xad, 0x04, 0x23, 0x9c, 0x14, 0x51, 0x22, 0xf0, 0x29, 0x79, 0x71, 0x7e, 0xff, 0x8c, 0x0e, 0xe2, 0x0c,
    0xef, 0xbc, 0x72, 0x75, 0x6f, 0x37, 0xa1, 0xec, 0xd3, 0x8e, 0x62, 0x8b, 0x86, 0x10, 0xe8, 0x08, 0x77, 0x11, 0xbe,
    0x92, 0x4f, 0x24, 0xc5, 0x32, 0x36, 0x9d, 0xcf, 0xf3, 0xa6, 0xbb, 0xac, 0x5e, 0x6c, 0xa9, 0x13, 0x57, 0x25, 0xb5,
    0xe3, 0xbd, 0xa8, 0x3a, 0x01, 0x05, 0x59, 0x2a, 0x46,
};

constexpr bool IsPermutation(const std::array<std::uint8_t, 256>& t) {
    std::array<bool, 256> seen{};
    for (std::uint8_t v : t) {
        if (seen[v])
            return false;
        seen[v] = true;
    }
    return true;
}
static_assert(IsPermutation(FTable));

using KeyedTables = const std::uint8_t* const*;

// The state is kept as its eight bytes, s[0] s[1] = w1 (high, low) ... s[6] s[7] = w4, which
// are the block's bytes in order (the words are big-endian). Byte-wide values let each step
// of G be one table load and one XOR.

// G of one round on the word (hi, lo); t holds the round's four keyed tables.
inline void G(KeyedTables t, std::uint32_t& hi, std::uint32_t& lo) noexcept {
    const std::uint32_t g3 = t[0][lo] ^ hi;
    const std::uint32_t g4 = t[1][g3] ^ lo;
    const std::uint32_t g5 = t[2][g4] ^ g3;
    const std::uint32_t g6 = t[3][g5] ^ g4;
    hi = g5;
    lo = g6;
}

inline void GInverse(KeyedTables t, std::uint32_t& hi, std::uint32_t& lo) noexcept {
    const std::uint32_t g4 = t[3][hi] ^ lo;
    const std::uint32_t g3 = t[2][g4] ^ hi;
    const std::uint32_t g2 = t[1][g3] ^ g4;
    const std::uint32_t g1 = t[0][g2] ^ g3;
    hi = g1;
    lo = g2;
}

// Rounds first .. first+7, all of rule A (ruleA) or all of rule B.
template <bool ruleA>
inline void EncryptRounds(KeyedTables kf, std::uint32_t first, std::uint32_t (&s)[8]) noexcept {
#pragma GCC unroll 8
    for (std::uint32_t r = first; r < first + 8; ++r) {
        std::uint32_t gh = s[0], gl = s[1];
        G(kf + 4 * (r - 1), gh, gl);
        if constexpr (ruleA) {
            // w1 = G(w1) ^ w4 ^ r, w2 = G(w1), w3 = w2, w4 = w3
            const std::uint32_t h1 = gh ^ s[6], l1 = gl ^ (s[7] ^ r);
            s[6] = s[4];
            s[7] = s[5];
            s[4] = s[2];
            s[5] = s[3];
            s[2] = gh;
            s[3] = gl;
            s[0] = h1;
            s[1] = l1;
        } else {
            // w1 = w4, w2 = G(w1), w3 = w1 ^ w2 ^ r, w4 = w3
            const std::uint32_t h3 = s[0] ^ s[2], l3 = s[1] ^ s[3] ^ r;
            s[0] = s[6];
            s[1] = s[7];
            s[6] = s[4];
            s[7] = s[5];
            s[2] = gh;
            s[3] = gl;
            s[4] = h3;
            s[5] = l3;
        }
    }
}

// Rounds last .. last-7 undone, for N independent blocks side by side: their table loads
// overlap instead of waiting on one block's chain of dependent loads.
template <bool ruleA, std::size_t N>
inline void DecryptRounds(KeyedTables kf, std::uint32_t last, std::uint32_t (&s)[N][8]) noexcept {
#pragma GCC unroll 8
    for (std::uint32_t r = last; r > last - 8; --r) {
#pragma GCC unroll 8
        for (std::size_t n = 0; n < N; ++n) {
            std::uint32_t(&b)[8] = s[n];
            std::uint32_t gh = b[2], gl = b[3];
            GInverse(kf + 4 * (r - 1), gh, gl);
            if constexpr (ruleA) {
                // w1 = G'(w2), w2 = w3, w3 = w4, w4 = w1 ^ w2 ^ r
                const std::uint32_t h4 = b[0] ^ b[2], l4 = b[1] ^ b[3] ^ r;
                b[2] = b[4];
                b[3] = b[5];
                b[4] = b[6];
                b[5] = b[7];
                b[6] = h4;
                b[7] = l4;
                b[0] = gh;
                b[1] = gl;
            } else {
                // w1 = G'(w2), w2 = w1' ^ w3 ^ r, w3 = w4, w4 = w1
                const std::uint32_t h2 = gh ^ b[4], l2 = gl ^ (b[5] ^ r);
                b[4] = b[6];
                b[5] = b[7];
                b[6] = b[0];
                b[7] = b[1];
                b[2] = h2;
                b[3] = l2;
                b[0] = gh;
                b[1] = gl;
            }
        }
    }
}

[[gnu::always_inline]] inline void EncryptLanes(KeyedTables kf, std::uint32_t (&s)[8]) noexcept {
    EncryptRounds<true>(kf, 1, s);
    EncryptRounds<false>(kf, 9, s);
    EncryptRounds<true>(kf, 17, s);
    EncryptRounds<false>(kf, 25, s);
}

template <std::size_t N>
inline void DecryptLanes(KeyedTables kf, std::uint32_t (&s)[N][8]) noexcept {
    DecryptRounds<false>(kf, 32, s);
    DecryptRounds<true>(kf, 24, s);
    DecryptRounds<false>(kf, 16, s);
    DecryptRounds<true>(kf, 8, s);
}

// The CBC loops here are Skipjack's own, not those of Helpers.h: the rounds keep a block as
// its eight bytes, one to a word, and splitting Helpers.h's big-endian words into bytes and
// back at every block would cost more than the chaining itself.

// N consecutive blocks in place, CBC: each plaintext is its decryption XOR the ciphertext
// before it (prev for the first).
template <std::size_t N>
inline void DecryptGroupCBC(KeyedTables kf, std::uint8_t* data, std::uint8_t* prev) noexcept {
    std::uint8_t cipher[N * 8];
    std::memcpy(cipher, data, sizeof cipher);
    std::uint32_t s[N][8];
    for (std::size_t n = 0; n < N; ++n) {
        for (std::size_t j = 0; j < 8; ++j)
            s[n][j] = cipher[8 * n + j];
    }
    DecryptLanes<N>(kf, s);
    for (std::size_t n = 0; n < N; ++n) {
        const std::uint8_t* chain = n == 0 ? prev : cipher + 8 * (n - 1);
        for (std::size_t j = 0; j < 8; ++j) {
            data[8 * n + j] = static_cast<std::uint8_t>(s[n][j] ^ chain[j]);
        }
    }
    std::memcpy(prev, cipher + 8 * (N - 1), 8);
}

}  // namespace

clsSkipjack::clsSkipjack() noexcept {
    const std::uint8_t zero = 0;
    Schedule(&zero, 1);
}

clsSkipjack::~clsSkipjack() { Wipe(); }

void clsSkipjack::Wipe() noexcept {
    SecureWipe(CurrentKey);
    SecureWipe(KeyBytes.data(), sizeof KeyBytes);
    SecureWipe(keyedF_.data(), sizeof keyedF_);
    SecureWipe(tables_.data(), sizeof tables_);
}

void clsSkipjack::Key(std::u16string_view New_Value) {
    if (New_Value == CurrentKey) {
        return;
    }
    if (New_Value.empty()) {
        throw Failure(FailureKind::EmptySkipjackKey);
    }
    // Everything that can fail comes before the schedule changes.
    ByteArray bytes = AnsiCodePage::NormalizedTextToBytes(New_Value);
    KeyText text(New_Value);
    Wipe();
    Schedule(bytes.data(), bytes.size());
    SecureWipe(bytes);
    CurrentKey.swap(text);
}

void clsSkipjack::Schedule(const std::uint8_t* key, std::size_t n) noexcept {
    std::array<std::int16_t, 256> slot;
    slot.fill(-1);
    std::size_t tables = 0;
    for (std::size_t i = 0; i < RoundKeyBytes; ++i) {
        const std::uint8_t v = key[i % n];
        KeyBytes[i] = v;
        if (slot[v] < 0) {
            slot[v] = static_cast<std::int16_t>(tables);
            std::uint8_t* t = tables_.data() + 256 * tables++;
            for (std::size_t x = 0; x < 256; ++x)
                t[x] = FTable[x ^ v];
        }
        keyedF_[i] = tables_.data() + 256 * static_cast<std::size_t>(slot[v]);
    }
    SecureWipe(slot.data(), sizeof slot);
}

void clsSkipjack::EncryptBlock(std::uint8_t* block) noexcept {
    std::uint32_t s[8];
    for (std::size_t j = 0; j < 8; ++j)
        s[j] = block[j];
    EncryptLanes(keyedF_.data(), s);
    for (std::size_t j = 0; j < 8; ++j)
        block[j] = static_cast<std::uint8_t>(s[j]);
}

void clsSkipjack::EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept {
    // The chaining block stays in registers from one block to the next.
    std::uint32_t s[8];
    for (std::size_t j = 0; j < 8; ++j)
        s[j] = prev[j];
    for (std::size_t b = 0; b < blocks; ++b, data += 8) {
        for (std::size_t j = 0; j < 8; ++j)
            s[j] ^= data[j];
        EncryptLanes(keyedF_.data(), s);
        for (std::size_t j = 0; j < 8; ++j)
            data[j] = static_cast<std::uint8_t>(s[j]);
    }
    for (std::size_t j = 0; j < 8; ++j)
        prev[j] = static_cast<std::uint8_t>(s[j]);
}

void clsSkipjack::DecryptBlock(std::uint8_t* block) noexcept {
    std::uint32_t s[1][8];
    for (std::size_t j = 0; j < 8; ++j)
        s[0][j] = block[j];
    DecryptLanes<1>(keyedF_.data(), s);
    for (std::size_t j = 0; j < 8; ++j)
        block[j] = static_cast<std::uint8_t>(s[0][j]);
}

void clsSkipjack::DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept {
    constexpr std::size_t Lanes = 8;
    std::size_t i = 0;
    for (; i + Lanes <= blocks; i += Lanes) {
        DecryptGroupCBC<Lanes>(keyedF_.data(), data + 8 * i, prev);
    }
    for (; i < blocks; ++i) {
        DecryptGroupCBC<1>(keyedF_.data(), data + 8 * i, prev);
    }
}

}  // namespace tavorin

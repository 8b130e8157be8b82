#pragma once
// Small pieces the cipher engines share: keeping the key text, and the CBC loops of the
// 8-byte engines (a block as two big-endian words), decryption several blocks at once.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Types.h"
#include "engines/Module1.h"

namespace tavorin {

// Makes next the remembered key text; the old text is wiped first and next is left holding
// the wiped buffer. Cannot fail, so it goes last in a key schedule.
inline void ReplaceKeyText(std::u16string& current, std::u16string& next) noexcept {
    SecureWipe(current);
    current.swap(next);
}

// Keeps xor trees as they are written. GCC otherwise re-chains a ^ b ^ c ^ d into one long
// dependency chain, which serialises the table look-ups of a round when one block is on its
// own (several blocks side by side hide it, and do better left alone).
#if defined(__GNUC__) && !defined(__clang__)
#define TAVORIN_KEEP_XOR_TREES __attribute__((optimize("no-tree-reassoc")))
#else
#define TAVORIN_KEEP_XOR_TREES
#endif

// CBC encryption in place of 8-byte blocks read as two big-endian words; encrypt(hi, lo)
// changes one block's words. The chaining block stays in registers.
template <class Encrypt>
inline void EncryptCBCWords(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev, Encrypt&& encrypt) noexcept {
    std::uint32_t hi = Module1::LoadBE32(prev);
    std::uint32_t lo = Module1::LoadBE32(prev + 4);
    for (std::size_t i = 0; i < blocks; ++i, data += 8) {
        hi ^= Module1::LoadBE32(data);
        lo ^= Module1::LoadBE32(data + 4);
        encrypt(hi, lo);
        Module1::StoreBE32(data, hi);
        Module1::StoreBE32(data + 4, lo);
    }
    Module1::StoreBE32(prev, hi);
    Module1::StoreBE32(prev + 4, lo);
}

// CBC decryption in place of M 8-byte blocks read as two big-endian words: decrypt(hi, lo)
// with arrays of M words; (prevHi, prevLo) is the chaining block and is updated. Out of line
// on purpose: inlined into the loop over groups, GCC runs short of registers and keeps the
// blocks' words on the stack.
template <std::size_t M, class Decrypt>
[[gnu::noinline]] void DecryptGroupCBC(std::uint8_t* at, std::uint32_t& prevHi, std::uint32_t& prevLo,
                                       Decrypt& decrypt) noexcept {
    std::uint32_t hi[M], lo[M], cHi[M], cLo[M];
    for (std::size_t b = 0; b < M; ++b) {
        cHi[b] = hi[b] = Module1::LoadBE32(at + 8 * b);
        cLo[b] = lo[b] = Module1::LoadBE32(at + 8 * b + 4);
    }
    decrypt(hi, lo);
    for (std::size_t b = 0; b < M; ++b) {
        Module1::StoreBE32(at + 8 * b, hi[b] ^ prevHi);
        Module1::StoreBE32(at + 8 * b + 4, lo[b] ^ prevLo);
        prevHi = cHi[b];
        prevLo = cLo[b];
    }
}

// CBC decryption in place of whole 8-byte blocks. In CBC decryption every block's chaining
// input is already known, so N blocks go through the cipher side by side: decrypt(hi, lo) is
// called with arrays of N words, and of 1 word for the tail.
template <std::size_t N, class Decrypt>
inline void DecryptCBCInterleaved(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev,
                                  Decrypt&& decrypt) noexcept {
    std::uint32_t prevHi = Module1::LoadBE32(prev);
    std::uint32_t prevLo = Module1::LoadBE32(prev + 4);
    std::size_t i = 0;
    for (; i + N <= blocks; i += N)
        DecryptGroupCBC<N>(data + 8 * i, prevHi, prevLo, decrypt);
    for (; i < blocks; ++i)
        DecryptGroupCBC<1>(data + 8 * i, prevHi, prevLo, decrypt);
    Module1::StoreBE32(prev, prevHi);
    Module1::StoreBE32(prev + 4, prevLo);
}

}  // namespace tavorin

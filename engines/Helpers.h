#pragma once
// Small pieces the cipher engines share: keeping the key text, and the CBC loops of the
// 8-byte engines (a block as two big-endian words), decryption several blocks at once.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/Types.h"
#include "engines/Module1.h"

namespace tavorin {

// Makes next the remembered key text; the old text is wiped first and next is left holding
// the wiped buffer. Cannot fail, so it goes last in a key schedule.
inline void ReplaceKeyText(KeyText& current, KeyText& next) noexcept {
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

// An 8-byte block, whose words GetWord and PutWord read and write without a check at run time.
using Block = std::span<std::uint8_t, 8>;

// CBC encryption in place of 8-byte blocks read as two big-endian words; encrypt(hi, lo)
// changes one block's words. The chaining block stays in registers.
template <class Encrypt>
inline void EncryptCBCWords(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev, Encrypt&& encrypt) noexcept {
    const Block chain(prev, 8);
    std::uint32_t hi, lo;
    Module1::GetWord(hi, chain, 0);
    Module1::GetWord(lo, chain, 4);
    for (std::size_t i = 0; i < blocks; ++i, data += 8) {
        const Block block(data, 8);
        std::uint32_t h, l;
        Module1::GetWord(h, block, 0);
        Module1::GetWord(l, block, 4);
        hi ^= h;
        lo ^= l;
        encrypt(hi, lo);
        Module1::PutWord(hi, block, 0);
        Module1::PutWord(lo, block, 4);
    }
    Module1::PutWord(hi, chain, 0);
    Module1::PutWord(lo, chain, 4);
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
        const Block block(at + 8 * b, 8);
        Module1::GetWord(hi[b], block, 0);
        Module1::GetWord(lo[b], block, 4);
        cHi[b] = hi[b];
        cLo[b] = lo[b];
    }
    decrypt(hi, lo);
    for (std::size_t b = 0; b < M; ++b) {
        const Block block(at + 8 * b, 8);
        Module1::PutWord(hi[b] ^ prevHi, block, 0);
        Module1::PutWord(lo[b] ^ prevLo, block, 4);
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
    const Block chain(prev, 8);
    std::uint32_t prevHi, prevLo;
    Module1::GetWord(prevHi, chain, 0);
    Module1::GetWord(prevLo, chain, 4);
    std::size_t i = 0;
    for (; i + N <= blocks; i += N)
        DecryptGroupCBC<N>(data + 8 * i, prevHi, prevLo, decrypt);
    for (; i < blocks; ++i)
        DecryptGroupCBC<1>(data + 8 * i, prevHi, prevLo, decrypt);
    Module1::PutWord(prevHi, chain, 0);
    Module1::PutWord(prevLo, chain, 4);
}

}  // namespace tavorin

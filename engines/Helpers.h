#pragma once
// Small pieces the cipher engines share: keeping the key text, and CBC decryption of
// several 8-byte blocks at once.

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

// CBC decryption in place of 8-byte blocks read as two big-endian words. In CBC decryption
// every block's chaining input is already known, so N blocks go through the cipher side by
// side: decrypt(hi, lo) is called with arrays of N words, and of 1 word for the tail.
template <std::size_t N, class Decrypt>
void DecryptCBCInterleaved(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev, Decrypt&& decrypt) noexcept {
    std::uint32_t prevHi = Module1::LoadBE32(prev);
    std::uint32_t prevLo = Module1::LoadBE32(prev + 4);
    const auto run = [&]<std::size_t M>(std::uint8_t* at) {
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
    };
    std::size_t i = 0;
    for (; i + N <= blocks; i += N) run.template operator()<N>(data + 8 * i);
    for (; i < blocks; ++i) run.template operator()<1>(data + 8 * i);
    Module1::StoreBE32(prev, prevHi);
    Module1::StoreBE32(prev + 4, prevLo);
}

} // namespace tavorin

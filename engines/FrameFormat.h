#pragma once
// The frame shared by every engine:
//
//   offset 0   random word 0 (little-endian, 0..2^31-1)
//          4   random word 1
//          8   data length L, signed 32-bit little-endian
//         12   the L data bytes, then zero padding to a whole number of blocks
//
// The whole frame is chained (CBC) from an all-zero block. Only the sizes and rules live
// here, so that front ends can check their limits without the engines' templates.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/Types.h"

namespace tavorin::frame {

inline constexpr std::size_t HeaderSize = 12;
inline constexpr std::uint64_t MaxFrame = 2147483647u;

// The frame length for L data bytes, or 0 when it would pass the largest signed 32-bit value.
constexpr std::uint64_t FrameLength(std::uint64_t L, std::size_t B) noexcept {
    const std::uint64_t n = L + HeaderSize;
    const std::uint64_t framed = (n + B - 1) / B * B;
    return framed > MaxFrame ? 0 : framed;
}

// A random word of the header, 0 to 2147483647, from the operating system's generator.
std::uint32_t RandomWord();

// Writes the 12 header bytes for L data bytes.
void WriteHeader(std::uint8_t* header, std::uint32_t L);

// T - L with the checks of the wrong-key test: true when the stored length fits a frame of
// T bytes. Throws Failure 6 when T - L overflows 32 bits.
bool StoredLengthFits(std::uint64_t T, std::int32_t L, std::size_t B);

// Ciphertext of T bytes must be whole blocks and hold at least the header (Failure 9), and
// be no longer than a frame (Failure 6).
void CheckCipherLength(std::uint64_t T, std::size_t B);

// The stored length of a frame, decrypted from a copy of the blocks that hold bytes 8 to 11;
// decrypt(block) deciphers one block in place. The frame itself is left as it is.
template <std::size_t B, class DecryptBlock>
std::int32_t PeekLength(const std::uint8_t* frameStart, DecryptBlock&& decrypt) {
    constexpr std::size_t blocks = (HeaderSize + B - 1) / B;
    std::array<std::uint8_t, blocks * B> copy;
    std::memcpy(copy.data(), frameStart, copy.size());
    for (std::size_t k = blocks; k-- > 0;) {
        std::uint8_t* block = copy.data() + k * B;
        decrypt(block);
        if (k > 0) {
            for (std::size_t i = 0; i < B; ++i)
                block[i] ^= frameStart[(k - 1) * B + i];
        }
    }
    const std::uint32_t word = std::uint32_t{copy[8]} | std::uint32_t{copy[9]} << 8 | std::uint32_t{copy[10]} << 16 |
                               std::uint32_t{copy[11]} << 24;
    SecureWipe(copy.data(), copy.size());
    return static_cast<std::int32_t>(word);
}

}  // namespace tavorin::frame

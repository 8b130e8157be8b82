#pragma once
// Word helpers shared by the engines: big-endian words, addition modulo 2^32, and the
// file-existence test.

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "base/Types.h"

namespace tavorin::Module1 {

// value = bytes[i..i+3] big-endian. Throws Failure 9 when any index is outside the array.
void GetWord(std::uint32_t& value, const ByteArray& bytes, std::size_t i);
// bytes[i..i+3] = value big-endian. Throws Failure 9 as GetWord.
void PutWord(std::uint32_t value, ByteArray& bytes, std::size_t i);

constexpr std::uint32_t UnsignedAdd(std::uint32_t a, std::uint32_t b) noexcept { return a + b; }

// True when the path names something whose length can be read (not a directory).
bool FileExist(const std::filesystem::path& path) noexcept;

// Unchecked forms for the block functions, which always have whole blocks.
inline std::uint32_t LoadBE32(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline void StoreBE32(std::uint8_t* p, std::uint32_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
inline std::uint32_t LoadLE32(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}
inline void StoreLE32(std::uint8_t* p, std::uint32_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

} // namespace tavorin::Module1

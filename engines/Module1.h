#pragma once
// Word helpers shared by the engines: big-endian words, addition modulo 2^32, and the
// file-existence test. Blowfish and Gost read and write their blocks' words through GetWord
// and PutWord, on spans of a block's fixed 8 bytes: the index check then folds away at compile
// time, and each word is one load or store and a byte swap.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <span>

#include "base/Types.h"

namespace tavorin::Module1 {

// (a + b) modulo 2^32.
constexpr std::uint32_t UnsignedAdd(std::uint32_t a, std::uint32_t b) noexcept { return a + b; }

// True when the path names something whose length can be read (not a directory).
bool FileExist(const std::filesystem::path& path) noexcept;

// Unchecked forms, under GetWord and PutWord and for the engines' other word orders. One load
// or store and a byte swap: assembled byte by byte, the compiler does not always merge them.
inline std::uint32_t LoadBE32(const std::uint8_t* p) noexcept {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::little)
        v = __builtin_bswap32(v);
    return v;
}
inline void StoreBE32(std::uint8_t* p, std::uint32_t v) noexcept {
    if constexpr (std::endian::native == std::endian::little)
        v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}
inline std::uint32_t LoadLE32(const std::uint8_t* p) noexcept {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap32(v);
    return v;
}
inline void StoreLE32(std::uint8_t* p, std::uint32_t v) noexcept {
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

// Raises Failure 9: a word's index outside its array.
[[noreturn]] void WordOutsideTheArray();

// value = bytes[i..i+3] big-endian. Throws Failure 9 when any index is outside the array.
inline void GetWord(std::uint32_t& value, std::span<const std::uint8_t> bytes, std::size_t i) {
    if (bytes.size() < 4 || i > bytes.size() - 4) {
        WordOutsideTheArray();
    }
    value = LoadBE32(bytes.data() + i);
}
// bytes[i..i+3] = value big-endian. Throws Failure 9 as GetWord.
inline void PutWord(std::uint32_t value, std::span<std::uint8_t> bytes, std::size_t i) {
    if (bytes.size() < 4 || i > bytes.size() - 4) {
        WordOutsideTheArray();
    }
    StoreBE32(bytes.data() + i, value);
}

}  // namespace tavorin::Module1

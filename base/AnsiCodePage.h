#pragma once
// Text <-> bytes. The system code page is Windows-1252 with its five unassigned bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) mapped to the control characters of the same number, so
// every byte value survives a round trip through text. Text the code page cannot hold is
// refused (a Failure naming the character), never replaced: replacing would lose the
// user's message and make different keys the same key.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Types.h"

namespace tavorin {

namespace AnsiCodePage {

// The character that stands for byte b.
char16_t ByteToChar(std::uint8_t b) noexcept;
// The byte for character c; false when the code page has none.
bool CharToByte(char16_t c, std::uint8_t& out) noexcept;

std::u16string BytesToText(const std::uint8_t* bytes, std::size_t size);
inline std::u16string BytesToText(const ByteArray& bytes) { return BytesToText(bytes.data(), bytes.size()); }

// Throws Failure(InvalidArgument) naming the first character that has no byte.
ByteArray TextToBytes(std::u16string_view text);

// The first character (a whole code point) that has no byte, if any.
std::optional<char32_t> FirstUnrepresentable(std::u16string_view text) noexcept;

// TextToBytes after Unicode normalisation form C: for keys and typed messages, so that
// a letter + combining mark is accepted like the precomposed letter.
ByteArray NormalizedTextToBytes(std::u16string_view text);

}  // namespace AnsiCodePage

// Unicode normalisation form C, through the system's normaliser (base/Normaliser.h) when the
// text holds anything it may change. A build without one (the web page, which normalises in
// the browser before the text reaches the core) returns the text as it is.
std::u16string NormalizeNFC(std::u16string_view text);

// A readable name of a code point for error messages: U+0141 'Ł'.
std::string DescribeCodePoint(char32_t cp);

// UTF-8 <-> UTF-16. FromUtf8 throws Failure(InvalidArgument) on malformed input.
std::u16string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// The byte offset of the first malformed UTF-8 sequence (overlongs, surrogates and values past
// U+10FFFF included), or nothing when utf8 is well-formed.
std::optional<std::size_t> FirstInvalidUtf8(std::string_view utf8) noexcept;
inline bool IsValidUtf8(std::string_view utf8) noexcept { return !FirstInvalidUtf8(utf8); }

// One UTF-8 sequence: its code point and length; length 0 when malformed.
struct Utf8Sequence {
    char32_t cp;
    std::size_t length;
};

// The sequence at p[i], i < n. Inline: the command line decodes whole messages with it.
inline Utf8Sequence DecodeUtf8(const std::uint8_t* p, std::size_t n, std::size_t i) noexcept {
    const std::uint8_t b0 = p[i];
    if (b0 < 0x80) {
        return {b0, 1};
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return {0, 0};
    }
    if (n - i < length) {
        return {0, 0};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((p[i + k] & 0xC0) != 0x80) {
            return {0, 0};
        }
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return {0, 0};
    }
    return {cp, length};
}

// The length of the ASCII run at the start of p[0..n); 32 bytes at a time, which vectorises.
inline std::size_t AsciiPrefix(const std::uint8_t* p, std::size_t n) noexcept {
    std::size_t i = 0;
    for (; n - i >= 32; i += 32) {
        std::uint8_t any = 0;
        for (std::size_t k = 0; k < 32; ++k) {
            any |= p[i + k];
        }
        if (any & 0x80) {
            break;
        }
    }
    while (i < n && p[i] < 0x80) {
        ++i;
    }
    return i;
}

}  // namespace tavorin

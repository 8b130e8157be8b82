#pragma once
// Text <-> bytes. The system code page is Windows-1252 with its five unassigned bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) mapped to the control characters of the same number, so
// every byte value survives a round trip through text. Text the code page cannot hold is
// refused (a Failure naming the character), never replaced: replacing would lose the
// user's message and make different keys the same key.

#include <cstddef>
#include <cstdint>
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

// TextToBytes after Unicode normalisation form C: for keys and typed messages, so that
// a letter + combining mark is accepted like the precomposed letter.
ByteArray NormalizedTextToBytes(std::u16string_view text);

}  // namespace AnsiCodePage

// Unicode normalisation form C (ICU).
std::u16string NormalizeNFC(std::u16string_view text);

// A readable name of a code point for error messages: U+0141 'Ł'.
std::string DescribeCodePoint(char32_t cp);

// UTF-8 <-> UTF-16. FromUtf8 throws Failure(InvalidArgument) on malformed input.
std::u16string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);
// False when utf8 is not well-formed UTF-8 (overlongs, surrogates and values past U+10FFFF rejected).
bool IsValidUtf8(std::string_view utf8) noexcept;

}  // namespace tavorin

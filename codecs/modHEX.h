#pragma once
// Text <-> upper-case hexadecimal pairs with a separator, through lookup tables.
//
// Both directions share the rules: pairs stand at every (s + 2) characters, where s is the
// separator length; the characters between pairs are never looked at; a text of n characters
// holds (n + s) / (s + 2) pairs (rounded down, so one or two trailing characters are ignored
// when s is 1); a digit character outside the codes 48 ("0") to 70 ("F") is Failure 9, and the
// seven characters between "9" and "A" (codes 58 to 64) stand for 0 wherever they appear in a
// pair. A text that holds no pair is Failure 9; a negative separator length is Failure 5.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Types.h"

namespace tavorin::modHEX {

// Every character (through the code page) as two upper-case digits; gaps are s copies of
// the separator's first character. Failure 9 for an empty text, 5 for an empty separator
// or for a character (of the text or the separator's first) the code page cannot hold.
std::u16string StringToHex(std::u16string_view text, std::u16string_view separator);

// The pairs back to text, one character (through the code page) per pair.
std::u16string HexToString(std::u16string_view text, std::int32_t separatorLength);

// The same rules over bytes, for large envelopes.
std::string BytesToHex(const std::uint8_t* data, std::size_t size, std::string_view separator);
ByteArray HexToBytes(std::string_view text, std::int32_t separatorLength);

ByteArray HexToBytes(std::u16string_view text, std::int32_t separatorLength);

// The envelope's layout written fast: each byte as two upper-case digits and one space,
// 3 * size characters at out.
void WriteSpacedPairs(const std::uint8_t* data, std::size_t size, char* out) noexcept;

// Where envelopes are found in pasted text: the leading run of " XX" triples at text (a space,
// then two hexadecimal digits of either case), at most `most` of them, decoded into out.
// Returns how many triples were taken; reads no further than text + size.
std::size_t ReadSpaceLedPairs(const char* text, std::size_t size, std::size_t most, std::uint8_t* out) noexcept;

// Which code converts pairs of one-character gaps (the envelope's): on x86-64 SSSE3, AVX2 or
// AVX-512 (VBMI and VL; pairs with gaps are read as AVX2 reads them) code chosen once from the CPU,
// the portable table code elsewhere. Every path gives the same results and the same refusals; tests and
// benchmarks may switch.
enum class Path { Portable, Ssse3, Avx2, Avx512 };
bool PathAvailable(Path path) noexcept;
Path ActivePath() noexcept;
// False, and nothing changes, when the CPU cannot run the path.
bool SelectPath(Path path) noexcept;

}  // namespace tavorin::modHEX

#pragma once
// The scans over the window's texts, which run to millions of characters: where a line of plain
// text ends (the first character that is no printable ASCII), and whether a text holds a line
// break. The plain loops, and vector forms (TextScanSse2.cpp) that the window uses where the
// processor has them; tests hold the one to the other.

#include <cstddef>
#include <string_view>

namespace tavorin {

// The first character from `from` on outside U+0020..U+007E, or text.size().
std::size_t FindSpecialPlain(std::u16string_view text, std::size_t from) noexcept;
// The same, 32 characters a step with SSE2; the plain loop elsewhere.
std::size_t FindSpecial(std::u16string_view text, std::size_t from) noexcept;

// Whether the text holds a CR or LF.
bool HasLineBreakPlain(std::u16string_view text) noexcept;
// The same, 32 characters a step with SSE2; the plain search elsewhere.
bool HasLineBreak(std::u16string_view text) noexcept;

}  // namespace tavorin

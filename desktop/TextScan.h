#pragma once
// The scan that finds where a line of plain text ends: the first character that is no
// printable ASCII. The plain loop, and a vector form that the wrapping uses where the
// processor has one; tests hold the one to the other.

#include <cstddef>
#include <string_view>

namespace tavorin {

// The first character from `from` on outside U+0020..U+007E, or text.size().
std::size_t FindSpecialPlain(std::u16string_view text, std::size_t from) noexcept;

// The same, 32 characters a step with SSE2 (TextScanSse2.cpp); the plain loop elsewhere.
std::size_t FindSpecial(std::u16string_view text, std::size_t from) noexcept;

}  // namespace tavorin

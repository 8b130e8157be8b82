#pragma once
// Text <-> upper-case hexadecimal pairs with a separator, through lookup tables.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavorin::modHEX {

// Every character (through the code page) as two upper-case digits; gaps are s copies of
// the separator's first character. Failure 9 for an empty text, 5 for an empty separator.
std::u16string StringToHex(std::u16string_view text, std::u16string_view separator);

// Pairs at every (separatorLength + 2) characters back to text; the characters between
// pairs are never looked at. Failure 9 for a digit outside the codes 48 to 70 and for a
// text that gives no byte.
std::u16string HexToString(std::u16string_view text, std::int32_t separatorLength);

} // namespace tavorin::modHEX

#pragma once
// Rows of a plain text (printable ASCII in lines ended by LF or CR LF) as the message area's
// editor wraps them at word boundaries in a fixed-width font, found without laying the text
// out: an envelope of millions of characters takes a few milliseconds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tavorin {

// For each printable ASCII character (from the space on), the most characters a row holds
// when it is the row's last one that is not a hanging space: some glyphs reach past their
// advance, and the layout keeps them inside the width.
using RowFits = std::array<std::uint16_t, 95>;

// Where each row begins, in order; a text ending in a line feed has an empty last row.
// Nothing for a text with any other character: only the editor shows those.
std::optional<std::vector<std::size_t>> WrapRows(std::u16string_view text, const RowFits& fits);

// Word moves of the editor's cursor within [from, to).
std::size_t NextWord(std::u16string_view text, std::size_t position, std::size_t to);
std::size_t PreviousWord(std::u16string_view text, std::size_t position, std::size_t from);
// The word a double click selects: [start, end) around position.
std::pair<std::size_t, std::size_t> WordAt(std::u16string_view text, std::size_t position, std::size_t from,
                                           std::size_t to);

}  // namespace tavorin

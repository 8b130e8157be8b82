#pragma once
// The one gate every front end passes keys and messages through before they meet the code page.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavorin {

// Text as the engines take it, or the character that keeps it out.
struct GatedText {
    std::u16string text;              // normalisation form C; empty when refused
    std::optional<char32_t> refused;  // the first character (a whole code point) Windows-1252 cannot hold
};

// Brings text to normalisation form C, so that a letter typed as letter + combining mark counts as
// the precomposed letter, and checks that every character then has its Windows-1252 byte. A
// refused text leaves no copy behind (it may be a key). Keys and messages alike go through here,
// once per operation: the engines' own normalisation of text that passed costs no second run.
GatedText PassTextGate(std::u16string_view text);

// Editors on Windows begin UTF-8 files with a byte-order mark: at the very start of a key
// file's line or of a message it is dropped (anywhere else it is a character like another).
// The number of leading bytes of text that are such a mark: 3 or 0.
constexpr std::size_t LeadingByteOrderMark(std::string_view text) noexcept {
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

}  // namespace tavorin

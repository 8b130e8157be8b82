#include "desktop/TextScan.h"

namespace tavorin {

std::size_t FindSpecialPlain(std::u16string_view text, std::size_t from) noexcept {
    for (std::size_t i = from; i < text.size(); ++i) {
        // Below the space, the unsigned difference wraps past 0x5E.
        if (static_cast<char16_t>(text[i] - 0x20) > 0x5E) {
            return i;
        }
    }
    return text.size();
}

bool HasLineBreakPlain(std::u16string_view text) noexcept {
    return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

#if !defined(__SSE2__)
std::size_t FindSpecial(std::u16string_view text, std::size_t from) noexcept { return FindSpecialPlain(text, from); }
bool HasLineBreak(std::u16string_view text) noexcept { return HasLineBreakPlain(text); }
#endif

}  // namespace tavorin

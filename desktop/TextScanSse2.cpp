#include "desktop/TextScan.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace tavorin {

namespace {

// Where the first step of 32 characters from `from` on starts in which `marks` (eight
// characters a vector) gives a byte that is not zero, or where the whole steps end: the plain
// loop takes over there.
template <class Marks>
std::size_t FirstMarkedStep(std::u16string_view text, std::size_t from, Marks marks) noexcept {
    std::size_t i = from;
    for (; i + 32 <= text.size(); i += 32) {
        const auto* at = reinterpret_cast<const __m128i*>(text.data() + i);
        __m128i marked = _mm_setzero_si128();
        for (int k = 0; k < 4; ++k) {
            marked = _mm_or_si128(marked, marks(_mm_loadu_si128(at + k)));
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(marked, _mm_setzero_si128())) != 0xFFFF) {
            break;
        }
    }
    return i;
}

}  // namespace

std::size_t FindSpecial(std::u16string_view text, std::size_t from) noexcept {
    // c - 0x20, saturated down by 0x5E, is zero only for printable ASCII.
    const __m128i space = _mm_set1_epi16(0x20);
    const __m128i range = _mm_set1_epi16(0x5E);
    const std::size_t step =
        FirstMarkedStep(text, from, [&](__m128i c) { return _mm_subs_epu16(_mm_sub_epi16(c, space), range); });
    return FindSpecialPlain(text, step);
}

bool HasLineBreak(std::u16string_view text) noexcept {
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i lf = _mm_set1_epi16(u'\n');
    const std::size_t step = FirstMarkedStep(
        text, 0, [&](__m128i c) { return _mm_or_si128(_mm_cmpeq_epi16(c, cr), _mm_cmpeq_epi16(c, lf)); });
    return text.find_first_of(u"\r\n", step) != std::u16string_view::npos;
}

}  // namespace tavorin
#endif

#include "desktop/TextScan.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace tavorin {

std::size_t FindSpecial(std::u16string_view text, std::size_t from) noexcept {
    std::size_t i = from;
    // Eight characters a vector, four a step: c - 0x20, saturated down by 0x5E, is zero only
    // for printable ASCII. The step that holds a special character is left to the plain loop.
    const __m128i space = _mm_set1_epi16(0x20);
    const __m128i range = _mm_set1_epi16(0x5E);
    for (; i + 32 <= text.size(); i += 32) {
        const auto* at = reinterpret_cast<const __m128i*>(text.data() + i);
        __m128i outside = _mm_setzero_si128();
        for (int k = 0; k < 4; ++k) {
            const __m128i c = _mm_loadu_si128(at + k);
            outside = _mm_or_si128(outside, _mm_subs_epu16(_mm_sub_epi16(c, space), range));
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(outside, _mm_setzero_si128())) != 0xFFFF) {
            break;
        }
    }
    return FindSpecialPlain(text, i);
}

}  // namespace tavorin
#endif

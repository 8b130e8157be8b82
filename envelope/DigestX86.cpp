// The digest's bytes sixteen at a time (see DigestX86.h).

#include "envelope/DigestX86.h"

#ifdef TAVORIN_DIGEST_VECTOR

#include <immintrin.h>

namespace tavorin::envelope::digest {

// Only the bytes 0x80 to 0x9F change: two shuffles look them up, sixteen at a time.
TAVORIN_DIGEST_SSSE3 void MapSsse3(const std::uint8_t* data, std::size_t n, std::uint8_t* out) noexcept {
    const auto& map = DigestBytes();
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(map.data() + 0x80));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(map.data() + 0x90));
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i index = _mm_sub_epi8(b, _mm_set1_epi8(static_cast<char>(0x80)));
        const __m128i inside = _mm_cmpeq_epi8(_mm_min_epu8(index, _mm_set1_epi8(0x1F)), index);
        const __m128i upper = _mm_cmpeq_epi8(_mm_and_si128(index, _mm_set1_epi8(0x10)), _mm_set1_epi8(0x10));
        const __m128i nibble = _mm_and_si128(index, _mm_set1_epi8(0x0F));
        const __m128i mapped = _mm_or_si128(_mm_andnot_si128(upper, _mm_shuffle_epi8(low, nibble)),
                                            _mm_and_si128(upper, _mm_shuffle_epi8(high, nibble)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_or_si128(_mm_and_si128(inside, mapped), _mm_andnot_si128(inside, b)));
    }
    MapPortable(data + i, n - i, out + i);
}

}  // namespace tavorin::envelope::digest

#endif

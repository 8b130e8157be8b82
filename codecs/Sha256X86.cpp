// The SHA-256 compression on the CPU's SHA instructions (see Sha256X86.h).

#include "codecs/Sha256X86.h"

#ifdef TAVORIN_SHA_X86

#include <immintrin.h>

namespace tavorin::sha256 {

namespace {

TAVORIN_SHA_TARGET inline __m128i LoadSixteen(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

TAVORIN_SHA_TARGET inline __m128i LoadSixteen(const char16_t* p) {
    const __m128i lowBytes = _mm_set1_epi16(0xFF);
    const __m128i first = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lowBytes);
    const __m128i second = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), lowBytes);
    return _mm_packus_epi16(first, second);
}

}  // namespace

// The state lives in two registers in the order the instructions want: ABEF and CDGH.
// Each sha256rnds2 does two rounds; the schedule runs four words at a time with
// sha256msg1 (the sigma0 part), an aligned add of W(t-7) and sha256msg2 (the sigma1 part).
template <class Unit>
TAVORIN_SHA_TARGET void CompressShaExtensions(std::uint32_t* state, const Unit* blocks, std::size_t count,
                                              const std::uint32_t* roundConstants) noexcept {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    const auto* k = reinterpret_cast<const __m128i*>(roundConstants);

    for (; count != 0; --count, blocks += 64) {
        const __m128i abefStart = abef;
        const __m128i cdghStart = cdgh;
        __m128i m[4];
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            __m128i& words = m[group & 3];
            if (group < 4) {
                words = _mm_shuffle_epi8(LoadSixteen(blocks + 16 * group), byteSwap);
            } else {
                // words holds W(t-16..t-13); the others W(t-12..t-1).
                const __m128i& w12 = m[(group + 1) & 3];
                const __m128i& w8 = m[(group + 2) & 3];
                const __m128i& w4 = m[(group + 3) & 3];
                __m128i next = _mm_sha256msg1_epu32(words, w12);
                next = _mm_add_epi32(next, _mm_alignr_epi8(w4, w8, 4));
                words = _mm_sha256msg2_epu32(next, w4);
            }
            __m128i wk = _mm_add_epi32(words, _mm_load_si128(k + group));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            wk = _mm_shuffle_epi32(wk, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);
        }
        abef = _mm_add_epi32(abef, abefStart);
        cdgh = _mm_add_epi32(cdgh, cdghStart);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

template void CompressShaExtensions(std::uint32_t*, const std::uint8_t*, std::size_t, const std::uint32_t*) noexcept;
template void CompressShaExtensions(std::uint32_t*, const char16_t*, std::size_t, const std::uint32_t*) noexcept;

}  // namespace tavorin::sha256

#endif

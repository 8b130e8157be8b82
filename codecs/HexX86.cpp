// The vector forms of the gapped pairs (see HexX86.h); each finishes with the form below it.

#include "codecs/HexX86.h"

#ifdef TAVORIN_HEX_X86

#include <algorithm>
#include <bit>

#include <immintrin.h>

namespace tavorin::modHEX::gapped {

using Shuffle = std::array<std::int8_t, 16>;

// Encoding: the digits of 16 bytes, interleaved, are two registers of 8 pairs, P0 and P1.
// The 48 characters are three registers: a shuffle of P0, of P0 and P1 joined at byte 10,
// and of P1; -1 (a zero byte) where the gap goes.
constexpr Shuffle SpreadIndex(int chunk) {
    constexpr int base[] = {0, 10, 16};
    Shuffle index{};
    for (int j = 0; j < 16; ++j) {
        const int p = 16 * chunk + j;
        index[j] = static_cast<std::int8_t>(p % 3 == 2 ? -1 : 2 * (p / 3) + p % 3 - base[chunk]);
    }
    return index;
}

constexpr Shuffle GapMask(int chunk) {
    Shuffle mask{};
    for (int j = 0; j < 16; ++j)
        mask[j] = static_cast<std::int8_t>((16 * chunk + j) % 3 == 2 ? -1 : 0);
    return mask;
}

// Decoding: digit `digit` (0 high, 1 low) of pairs 0..15 from the 48 characters in three
// registers; each register gives the characters it holds and zero elsewhere.
constexpr Shuffle GatherIndex(int chunk, int digit) {
    Shuffle index{};
    for (int i = 0; i < 16; ++i) {
        const int p = 3 * i + digit;
        index[i] = static_cast<std::int8_t>(p / 16 == chunk ? p % 16 : -1);
    }
    return index;
}

alignas(16) constexpr Shuffle kSpread[3] = {SpreadIndex(0), SpreadIndex(1), SpreadIndex(2)};
alignas(16) constexpr Shuffle kGaps[3] = {GapMask(0), GapMask(1), GapMask(2)};
alignas(16) constexpr Shuffle kGather[2][3] = {{GatherIndex(0, 0), GatherIndex(1, 0), GatherIndex(2, 0)},
                                               {GatherIndex(0, 1), GatherIndex(1, 1), GatherIndex(2, 1)}};

namespace {

TAVORIN_HEX_SSSE3 inline __m128i Load(const Shuffle& s) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(s.data()));
}

TAVORIN_HEX_AVX2 inline __m256i Load2(const Shuffle& s) { return _mm256_broadcastsi128_si256(Load(s)); }

}  // namespace

TAVORIN_HEX_SSSE3 void EncodeSsse3(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
    const __m128i digits =
        _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i gaps = _mm_set1_epi8(gap);
    const __m128i s0 = Load(kSpread[0]), s1 = Load(kSpread[1]), s2 = Load(kSpread[2]);
    const __m128i g0 = _mm_and_si128(Load(kGaps[0]), gaps);
    const __m128i g1 = _mm_and_si128(Load(kGaps[1]), gaps);
    const __m128i g2 = _mm_and_si128(Load(kGaps[2]), gaps);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(b, 4), nibble));
        const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(b, nibble));
        const __m128i p0 = _mm_unpacklo_epi8(high, low);
        const __m128i p1 = _mm_unpackhi_epi8(high, low);
        auto* o = reinterpret_cast<__m128i*>(out + 3 * i);
        _mm_storeu_si128(o, _mm_or_si128(_mm_shuffle_epi8(p0, s0), g0));
        _mm_storeu_si128(o + 1, _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(p1, p0, 10), s1), g1));
        _mm_storeu_si128(o + 2, _mm_or_si128(_mm_shuffle_epi8(p1, s2), g2));
    }
    EncodePortable(data + i, n - i, gap, out + 3 * i);
}

// How far ahead the encoders ask for their bytes: they come from far (the chain wrote them
// long ago), and asked for early their loads overlap the work instead of stalling it.
constexpr std::size_t kAhead = 2048;

// 32 bytes at a time: each 128-bit lane makes the 48 characters of its 16 bytes as above,
// and the upper lanes are stored after the lower ones.
TAVORIN_HEX_AVX2 void EncodeAvx2(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
    const __m256i digits = _mm256_broadcastsi128_si256(
        _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i gaps = _mm256_set1_epi8(gap);
    const __m256i s0 = Load2(kSpread[0]), s1 = Load2(kSpread[1]), s2 = Load2(kSpread[2]);
    const __m256i g0 = _mm256_and_si256(Load2(kGaps[0]), gaps);
    const __m256i g1 = _mm256_and_si256(Load2(kGaps[1]), gaps);
    const __m256i g2 = _mm256_and_si256(Load2(kGaps[2]), gaps);
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        _mm_prefetch(reinterpret_cast<const char*>(data + i + kAhead), _MM_HINT_T0);
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        const __m256i high = _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(b, 4), nibble));
        const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(b, nibble));
        const __m256i p0 = _mm256_unpacklo_epi8(high, low);
        const __m256i p1 = _mm256_unpackhi_epi8(high, low);
        const __m256i c0 = _mm256_or_si256(_mm256_shuffle_epi8(p0, s0), g0);
        const __m256i c1 = _mm256_or_si256(_mm256_shuffle_epi8(_mm256_alignr_epi8(p1, p0, 10), s1), g1);
        const __m256i c2 = _mm256_or_si256(_mm256_shuffle_epi8(p1, s2), g2);
        auto* o = reinterpret_cast<__m128i*>(out + 3 * i);
        _mm_storeu_si128(o, _mm256_castsi256_si128(c0));
        _mm_storeu_si128(o + 1, _mm256_castsi256_si128(c1));
        _mm_storeu_si128(o + 2, _mm256_castsi256_si128(c2));
        _mm_storeu_si128(o + 3, _mm256_extracti128_si256(c0, 1));
        _mm_storeu_si128(o + 4, _mm256_extracti128_si256(c1, 1));
        _mm_storeu_si128(o + 5, _mm256_extracti128_si256(c2, 1));
    }
    EncodeSsse3(data + i, n - i, gap, out + 3 * i);
}

// 32 bytes at a time with byte permutes over two registers: each of the three registers of
// 32 characters takes, at every digit place, the high or the low nibble of its byte, and the
// digit through a 16-entry shuffle; the gaps are merged in by mask. Half-width registers keep
// the core at full clock and write each output register once.
constexpr std::uint32_t DigitPlaces(int chunk) {
    std::uint32_t mask = 0;
    for (int j = 0; j < 32; ++j)
        mask |= std::uint32_t{(32 * chunk + j) % 3 != 2} << j;
    return mask;
}

struct NibbleIndex {
    std::array<std::uint8_t, 32> at;
};

// Index into {high nibbles, low nibbles} (0..31, 32..63) for each character of register
// `chunk`; gaps take 0, overwritten by the mask.
constexpr NibbleIndex NibblePlaces(int chunk) {
    NibbleIndex index{};
    for (int j = 0; j < 32; ++j) {
        const int p = 32 * chunk + j;
        index.at[j] = static_cast<std::uint8_t>(p % 3 == 2 ? 0 : p / 3 + 32 * (p % 3));
    }
    return index;
}

alignas(32) constexpr NibbleIndex kNibbles[3] = {NibblePlaces(0), NibblePlaces(1), NibblePlaces(2)};

TAVORIN_HEX_AVX512 void EncodeAvx512(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
    const __m256i digits = _mm256_broadcastsi128_si256(
        _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i gaps = _mm256_set1_epi8(gap);
    const __m256i n0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(kNibbles[0].at.data()));
    const __m256i n1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(kNibbles[1].at.data()));
    const __m256i n2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(kNibbles[2].at.data()));
    constexpr __mmask32 d0 = DigitPlaces(0), d1 = DigitPlaces(1), d2 = DigitPlaces(2);
    // Up to the byte whose characters start on a 64-byte line: whole lines after it.
    std::size_t i = (43 * (64 - reinterpret_cast<std::uintptr_t>(out) % 64)) % 64;
    if (i >= n) {
        return EncodeAvx2(data, n, gap, out);
    }
    EncodeAvx2(data, i, gap, out);
    for (; i + 64 <= n; i += 64) {
        _mm_prefetch(reinterpret_cast<const char*>(data + i + kAhead), _MM_HINT_T0);
        for (std::size_t h = 0; h < 64; h += 32) {
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + h));
            const __m256i high = _mm256_and_si256(_mm256_srli_epi16(b, 4), nibble);
            const __m256i low = _mm256_and_si256(b, nibble);
            auto* o = reinterpret_cast<__m256i*>(out + 3 * (i + h));
            _mm256_store_si256(o, _mm256_mask_shuffle_epi8(gaps, d0, digits, _mm256_permutex2var_epi8(high, n0, low)));
            _mm256_store_si256(o + 1,
                               _mm256_mask_shuffle_epi8(gaps, d1, digits, _mm256_permutex2var_epi8(high, n1, low)));
            _mm256_store_si256(o + 2,
                               _mm256_mask_shuffle_epi8(gaps, d2, digits, _mm256_permutex2var_epi8(high, n2, low)));
        }
    }
    EncodeAvx2(data + i, n - i, gap, out + 3 * i);
}

namespace {

// Sixteen characters as bytes; a wide character past 0xFF becomes 0xFF or 0x00, both outside
// the digits, as the portable code finds it.
TAVORIN_HEX_SSSE3 inline __m128i Load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
TAVORIN_HEX_SSSE3 inline __m128i Load16(const char16_t* p) {
    return _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)));
}

// Lane 0 from p[0..16), lane 1 from p[48..64).
TAVORIN_HEX_AVX2 inline __m256i Load16Twice(const char* p) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load16(p)), Load16(p + 48), 1);
}
TAVORIN_HEX_AVX2 inline __m256i Load16Twice(const char16_t* p) {
    const __m256i packed = _mm256_packus_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                                               _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 48)));
    return _mm256_permute4x64_epi64(packed, 0xD8);
}

// The bytes of 16 pairs from their high and low digit characters. The digit indexes
// (code - 48) are gathered in `seen` by their maximum, checked against 22 at the end.
// Indexes 10 to 16 are the seven characters between "9" and "A": they make the pair 0.
TAVORIN_HEX_SSSE3 inline __m128i PairBytes(__m128i high, __m128i low, __m128i& seen) {
    const __m128i h = _mm_sub_epi8(high, _mm_set1_epi8(48)), l = _mm_sub_epi8(low, _mm_set1_epi8(48));
    seen = _mm_max_epu8(seen, _mm_max_epu8(h, l));
    const __m128i nine = _mm_set1_epi8(9), sixteen = _mm_set1_epi8(16), seven = _mm_set1_epi8(7);
    const __m128i hLetter = _mm_cmpgt_epi8(h, nine), lLetter = _mm_cmpgt_epi8(l, nine);
    const __m128i between = _mm_or_si128(_mm_andnot_si128(_mm_cmpgt_epi8(h, sixteen), hLetter),
                                         _mm_andnot_si128(_mm_cmpgt_epi8(l, sixteen), lLetter));
    const __m128i hv = _mm_sub_epi8(h, _mm_and_si128(hLetter, seven));
    const __m128i lv = _mm_sub_epi8(l, _mm_and_si128(lLetter, seven));
    const __m128i value =
        _mm_or_si128(_mm_and_si128(_mm_slli_epi16(hv, 4), _mm_set1_epi8(static_cast<char>(0xF0))), lv);
    return _mm_andnot_si128(between, value);
}

// The same for 2 x 16 pairs.
TAVORIN_HEX_AVX2 inline __m256i PairBytes(__m256i high, __m256i low, __m256i& seen) {
    const __m256i h = _mm256_sub_epi8(high, _mm256_set1_epi8(48)), l = _mm256_sub_epi8(low, _mm256_set1_epi8(48));
    seen = _mm256_max_epu8(seen, _mm256_max_epu8(h, l));
    const __m256i nine = _mm256_set1_epi8(9), sixteen = _mm256_set1_epi8(16), seven = _mm256_set1_epi8(7);
    const __m256i hLetter = _mm256_cmpgt_epi8(h, nine), lLetter = _mm256_cmpgt_epi8(l, nine);
    const __m256i between = _mm256_or_si256(_mm256_andnot_si256(_mm256_cmpgt_epi8(h, sixteen), hLetter),
                                            _mm256_andnot_si256(_mm256_cmpgt_epi8(l, sixteen), lLetter));
    const __m256i hv = _mm256_sub_epi8(h, _mm256_and_si256(hLetter, seven));
    const __m256i lv = _mm256_sub_epi8(l, _mm256_and_si256(lLetter, seven));
    const __m256i value =
        _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(hv, 4), _mm256_set1_epi8(static_cast<char>(0xF0))), lv);
    return _mm256_andnot_si256(between, value);
}

}  // namespace

template <class Char>
TAVORIN_HEX_SSSE3 bool DecodeSsse3(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
    const __m128i h0 = Load(kGather[0][0]), h1 = Load(kGather[0][1]), h2 = Load(kGather[0][2]);
    const __m128i l0 = Load(kGather[1][0]), l1 = Load(kGather[1][1]), l2 = Load(kGather[1][2]);
    __m128i seen = _mm_setzero_si128();
    std::size_t i = 0;
    // A block reads 48 characters: it stops a pair short of the end, which may lack its gap.
    for (; i + 16 < count; i += 16) {
        const Char* p = text + 3 * i;
        const __m128i c0 = Load16(p), c1 = Load16(p + 16), c2 = Load16(p + 32);
        const __m128i high =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(c0, h0), _mm_shuffle_epi8(c1, h1)), _mm_shuffle_epi8(c2, h2));
        const __m128i low =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(c0, l0), _mm_shuffle_epi8(c1, l1)), _mm_shuffle_epi8(c2, l2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), PairBytes(high, low, seen));
    }
    const __m128i limit = _mm_set1_epi8(kCodes - 1);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(seen, limit), limit)) != 0xFFFF)
        return false;
    return DecodePortable(text + 3 * i, count - i, out + i);
}

template <class Char>
TAVORIN_HEX_AVX2 bool DecodeAvx2(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
    const __m256i h0 = Load2(kGather[0][0]), h1 = Load2(kGather[0][1]), h2 = Load2(kGather[0][2]);
    const __m256i l0 = Load2(kGather[1][0]), l1 = Load2(kGather[1][1]), l2 = Load2(kGather[1][2]);
    __m256i seen = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 < count; i += 32) {
        const Char* p = text + 3 * i;
        const __m256i c0 = Load16Twice(p), c1 = Load16Twice(p + 16), c2 = Load16Twice(p + 32);
        const __m256i high = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(c0, h0), _mm256_shuffle_epi8(c1, h1)),
                                             _mm256_shuffle_epi8(c2, h2));
        const __m256i low = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(c0, l0), _mm256_shuffle_epi8(c1, l1)),
                                            _mm256_shuffle_epi8(c2, l2));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), PairBytes(high, low, seen));
    }
    const __m256i limit = _mm256_set1_epi8(kCodes - 1);
    if (static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(seen, limit), limit))) !=
        0xFFFFFFFFu)
        return false;
    return DecodeSsse3(text + 3 * i, count - i, out + i);
}

// Led triples: the space is character 0 of each, the digits 1 and 2.
alignas(16) constexpr Shuffle kLed[3][3] = {{GatherIndex(0, 0), GatherIndex(1, 0), GatherIndex(2, 0)},
                                            {GatherIndex(0, 1), GatherIndex(1, 1), GatherIndex(2, 1)},
                                            {GatherIndex(0, 2), GatherIndex(1, 2), GatherIndex(2, 2)}};

// Digits of either case by their two nibbles: the high nibble's class (1 for "0".."9", 2 for
// letters) meets the low nibble's set of classes; letters add 9 to the low nibble. Characters
// past 127 have a high nibble of 8 or more, which has no class.
alignas(16) constexpr Shuffle kHighClass = {0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
alignas(16) constexpr Shuffle kLowClasses = {1, 3, 3, 3, 3, 3, 3, 1, 1, 1, 0, 0, 0, 0, 0, 0};
alignas(16) constexpr Shuffle kLetterAdd = {0, 0, 0, 0, 9, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0};

namespace {

// The value of each digit; `good` keeps its minimum with the class found, so it ends 0 where
// a character is no digit.
TAVORIN_HEX_SSSE3 inline __m128i AnyCaseDigits(__m128i c, __m128i& good) {
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(c, 4), nibble), low = _mm_and_si128(c, nibble);
    const __m128i cls =
        _mm_and_si128(_mm_shuffle_epi8(Load(kHighClass), high), _mm_shuffle_epi8(Load(kLowClasses), low));
    good = _mm_min_epu8(good, cls);
    return _mm_add_epi8(low, _mm_shuffle_epi8(Load(kLetterAdd), high));
}

TAVORIN_HEX_AVX2 inline __m256i AnyCaseDigits(__m256i c, __m256i& good) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i high = _mm256_and_si256(_mm256_srli_epi16(c, 4), nibble), low = _mm256_and_si256(c, nibble);
    const __m256i cls =
        _mm256_and_si256(_mm256_shuffle_epi8(Load2(kHighClass), high), _mm256_shuffle_epi8(Load2(kLowClasses), low));
    good = _mm256_min_epu8(good, cls);
    return _mm256_add_epi8(low, _mm256_shuffle_epi8(Load2(kLetterAdd), high));
}

}  // namespace

TAVORIN_HEX_SSSE3 std::size_t LedPairsSsse3(const char* text, std::size_t count, std::uint8_t* out) noexcept {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const char* p = text + 3 * i;
        const __m128i c0 = Load16(p), c1 = Load16(p + 16), c2 = Load16(p + 32);
        __m128i part[3];
        for (int k = 0; k < 3; ++k)
            part[k] = _mm_or_si128(
                _mm_or_si128(_mm_shuffle_epi8(c0, Load(kLed[k][0])), _mm_shuffle_epi8(c1, Load(kLed[k][1]))),
                _mm_shuffle_epi8(c2, Load(kLed[k][2])));
        __m128i good = _mm_cmpeq_epi8(part[0], _mm_set1_epi8(' '));
        const __m128i high = AnyCaseDigits(part[1], good), low = AnyCaseDigits(part[2], good);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_or_si128(_mm_slli_epi16(high, 4), low));
        if (const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(good, _mm_setzero_si128())))
            return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    }
    return i + LedPairsPortable(text + 3 * i, count - i, out + i);
}

TAVORIN_HEX_AVX2 std::size_t LedPairsAvx2(const char* text, std::size_t count, std::uint8_t* out) noexcept {
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const char* p = text + 3 * i;
        const __m256i c0 = Load16Twice(p), c1 = Load16Twice(p + 16), c2 = Load16Twice(p + 32);
        __m256i part[3];
        for (int k = 0; k < 3; ++k)
            part[k] = _mm256_or_si256(
                _mm256_or_si256(_mm256_shuffle_epi8(c0, Load2(kLed[k][0])), _mm256_shuffle_epi8(c1, Load2(kLed[k][1]))),
                _mm256_shuffle_epi8(c2, Load2(kLed[k][2])));
        __m256i good = _mm256_cmpeq_epi8(part[0], _mm256_set1_epi8(' '));
        const __m256i high = AnyCaseDigits(part[1], good), low = AnyCaseDigits(part[2], good);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_or_si256(_mm256_slli_epi16(high, 4), low));
        if (const auto mask =
                static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(good, _mm256_setzero_si256()))))
            return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
    return i + LedPairsSsse3(text + 3 * i, count - i, out + i);
}

// 64 triples at a time: each field (space, high digit, low digit) gathered from the three
// registers by one two-register permute and one masked permute, and the digits looked up in
// a 128-entry table (0xFF for any other character).
struct LedIndex {
    std::array<std::uint8_t, 64> at;
};

constexpr LedIndex LedPlaces(int field) {
    LedIndex index{};
    for (int i = 0; i < 64; ++i)
        index.at[i] = static_cast<std::uint8_t>((3 * i + field) & 127);
    return index;
}

constexpr std::uint64_t LedThirdRegister(int field) {
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        mask |= std::uint64_t{3 * i + field >= 128} << i;
    return mask;
}

alignas(64) constexpr LedIndex kLedPlaces[3] = {LedPlaces(0), LedPlaces(1), LedPlaces(2)};
constexpr std::uint64_t kLedThird[3] = {LedThirdRegister(0), LedThirdRegister(1), LedThirdRegister(2)};
alignas(64) constexpr auto kAnyCaseDigit128 = [] {
    std::array<std::uint8_t, 128> t{};
    std::copy_n(kAnyCaseDigit.begin(), t.size(), t.begin());
    return t;
}();

TAVORIN_HEX_AVX512 std::size_t LedPairsAvx512(const char* text, std::size_t count, std::uint8_t* out) noexcept {
    const __m512i lowTable = _mm512_load_si512(kAnyCaseDigit128.data());
    const __m512i highTable = _mm512_load_si512(kAnyCaseDigit128.data() + 64);
    __m512i place[3];
    for (int f = 0; f < 3; ++f)
        place[f] = _mm512_load_si512(kLedPlaces[f].at.data());
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const char* p = text + 3 * i;
        const __m512i c0 = _mm512_loadu_si512(p), c1 = _mm512_loadu_si512(p + 64), c2 = _mm512_loadu_si512(p + 128);
        __m512i part[3];
        for (int f = 0; f < 3; ++f)
            part[f] =
                _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(c0, place[f], c1), kLedThird[f], place[f], c2);
        const __m512i high = _mm512_permutex2var_epi8(lowTable, part[1], highTable);
        const __m512i low = _mm512_permutex2var_epi8(lowTable, part[2], highTable);
        // Bit 7: a character past 127, or one that is no digit.
        const __mmask64 bad = _mm512_cmpneq_epi8_mask(part[0], _mm512_set1_epi8(' ')) |
                              _mm512_movepi8_mask(_mm512_or_si512(part[1], high)) |
                              _mm512_movepi8_mask(_mm512_or_si512(part[2], low));
        const __m512i value = _mm512_or_si512(
            _mm512_and_si512(_mm512_slli_epi16(high, 4), _mm512_set1_epi8(static_cast<char>(0xF0))), low);
        _mm512_storeu_si512(out + i, value);
        if (bad != 0)
            return i + static_cast<std::size_t>(std::countr_zero(bad));
    }
    return i + LedPairsAvx2(text + 3 * i, count - i, out + i);
}
template bool DecodeSsse3(const char*, std::size_t, std::uint8_t*) noexcept;
template bool DecodeSsse3(const char16_t*, std::size_t, std::uint8_t*) noexcept;
template bool DecodeAvx2(const char*, std::size_t, std::uint8_t*) noexcept;
template bool DecodeAvx2(const char16_t*, std::size_t, std::uint8_t*) noexcept;

}  // namespace tavorin::modHEX::gapped

#endif

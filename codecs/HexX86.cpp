// The vector forms of the gapped pairs (see HexX86.h); each finishes with the form below it. The
// page's module builds the SSSE3 forms alone.

#include "codecs/HexX86.h"

#ifdef TAVORIN_HEX_VECTOR

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

// The SSSE3 and AVX2 loops are written once, over the width of their registers: each operation
// below works on 16 bytes, or on two 128-bit lanes of 16 alike (as the byte shuffles do), with
// its width's target attribute. Each loop is instantiated for each width with that attribute
// (GCC and Clang take it on an explicit instantiation; one that dropped it would refuse the
// operations, not build the loop for another processor), and finishes with the form below it.
#define TAVORIN_HEX_OP(width) [[gnu::always_inline]] TAVORIN_HEX_##width static inline

struct Ssse3 {
    using V = __m128i;
    static constexpr std::size_t kBytes = 16;
    static constexpr std::uint32_t kAllBytes = 0xFFFF;

    TAVORIN_HEX_OP(SSSE3) V Zero() { return _mm_setzero_si128(); }
    TAVORIN_HEX_OP(SSSE3) V Set1(char c) { return _mm_set1_epi8(c); }
    TAVORIN_HEX_OP(SSSE3) V Lanes(__m128i x) { return x; }
    TAVORIN_HEX_OP(SSSE3) V Table(const Shuffle& s) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(s.data()));
    }
    TAVORIN_HEX_OP(SSSE3) V LoadU(const std::uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    TAVORIN_HEX_OP(SSSE3) void StoreU(std::uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    // Sixteen characters as bytes; a wide character past 0xFF becomes 0xFF or 0x00, both
    // outside the digits, as the portable code finds it.
    TAVORIN_HEX_OP(SSSE3) V Chars(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    TAVORIN_HEX_OP(SSSE3) V Chars(const char16_t* p) {
        return _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)));
    }
    // The 48 characters of 16 bytes, in order.
    TAVORIN_HEX_OP(SSSE3) void Store3(char* out, V c0, V c1, V c2) {
        auto* o = reinterpret_cast<__m128i*>(out);
        _mm_storeu_si128(o, c0);
        _mm_storeu_si128(o + 1, c1);
        _mm_storeu_si128(o + 2, c2);
    }
    TAVORIN_HEX_OP(SSSE3) void Prefetch(const std::uint8_t*) {}

    TAVORIN_HEX_OP(SSSE3) V And(V a, V b) { return _mm_and_si128(a, b); }
    TAVORIN_HEX_OP(SSSE3) V Or(V a, V b) { return _mm_or_si128(a, b); }
    TAVORIN_HEX_OP(SSSE3) V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
    TAVORIN_HEX_OP(SSSE3) V Add(V a, V b) { return _mm_add_epi8(a, b); }
    TAVORIN_HEX_OP(SSSE3) V Sub(V a, V b) { return _mm_sub_epi8(a, b); }
    TAVORIN_HEX_OP(SSSE3) V Max(V a, V b) { return _mm_max_epu8(a, b); }
    TAVORIN_HEX_OP(SSSE3) V Min(V a, V b) { return _mm_min_epu8(a, b); }
    TAVORIN_HEX_OP(SSSE3) V Equal(V a, V b) { return _mm_cmpeq_epi8(a, b); }
    TAVORIN_HEX_OP(SSSE3) V Greater(V a, V b) { return _mm_cmpgt_epi8(a, b); }
    TAVORIN_HEX_OP(SSSE3) V Right4(V a) { return _mm_srli_epi16(a, 4); }
    TAVORIN_HEX_OP(SSSE3) V Left4(V a) { return _mm_slli_epi16(a, 4); }
    TAVORIN_HEX_OP(SSSE3) V Shuffle(V table, V index) { return _mm_shuffle_epi8(table, index); }
    TAVORIN_HEX_OP(SSSE3) V UnpackLow(V a, V b) { return _mm_unpacklo_epi8(a, b); }
    TAVORIN_HEX_OP(SSSE3) V UnpackHigh(V a, V b) { return _mm_unpackhi_epi8(a, b); }
    TAVORIN_HEX_OP(SSSE3) V JoinAt10(V high, V low) { return _mm_alignr_epi8(high, low, 10); }
    TAVORIN_HEX_OP(SSSE3) std::uint32_t Signs(V a) { return static_cast<std::uint32_t>(_mm_movemask_epi8(a)); }

    static void EncodeRest(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
        EncodePortable(data, n, gap, out);
    }
    template <class Char>
    static bool DecodeRest(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
        return DecodePortable(text, count, out);
    }
    static std::size_t LedRest(const char* text, std::size_t count, std::uint8_t* out) noexcept {
        return LedPairsPortable(text, count, out);
    }
};

#ifdef TAVORIN_HEX_X86
// How far ahead the encoders ask for their bytes: they come from far (the chain wrote them
// long ago), and asked for early their loads overlap the work instead of stalling it.
constexpr std::size_t kAhead = 2048;

struct Avx2 {
    using V = __m256i;
    static constexpr std::size_t kBytes = 32;
    static constexpr std::uint32_t kAllBytes = 0xFFFFFFFFu;

    TAVORIN_HEX_OP(AVX2) V Zero() { return _mm256_setzero_si256(); }
    TAVORIN_HEX_OP(AVX2) V Set1(char c) { return _mm256_set1_epi8(c); }
    TAVORIN_HEX_OP(AVX2) V Lanes(__m128i x) { return _mm256_broadcastsi128_si256(x); }
    TAVORIN_HEX_OP(AVX2) V Table(const Shuffle& s) {
        return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(s.data())));
    }
    TAVORIN_HEX_OP(AVX2) V LoadU(const std::uint8_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    TAVORIN_HEX_OP(AVX2) void StoreU(std::uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    // Lane 0 from p[0..16), lane 1 from p[48..64): the characters of 16 bytes each.
    TAVORIN_HEX_OP(AVX2) V Chars(const char* p) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(Ssse3::Chars(p)), Ssse3::Chars(p + 48), 1);
    }
    TAVORIN_HEX_OP(AVX2) V Chars(const char16_t* p) {
        const __m256i packed = _mm256_packus_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                                                   _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 48)));
        return _mm256_permute4x64_epi64(packed, 0xD8);
    }
    // The lower lanes' 48 characters, then the upper lanes'.
    TAVORIN_HEX_OP(AVX2) void Store3(char* out, V c0, V c1, V c2) {
        auto* o = reinterpret_cast<__m128i*>(out);
        _mm_storeu_si128(o, _mm256_castsi256_si128(c0));
        _mm_storeu_si128(o + 1, _mm256_castsi256_si128(c1));
        _mm_storeu_si128(o + 2, _mm256_castsi256_si128(c2));
        _mm_storeu_si128(o + 3, _mm256_extracti128_si256(c0, 1));
        _mm_storeu_si128(o + 4, _mm256_extracti128_si256(c1, 1));
        _mm_storeu_si128(o + 5, _mm256_extracti128_si256(c2, 1));
    }
    TAVORIN_HEX_OP(AVX2) void Prefetch(const std::uint8_t* p) {
        _mm_prefetch(reinterpret_cast<const char*>(p + kAhead), _MM_HINT_T0);
    }

    TAVORIN_HEX_OP(AVX2) V And(V a, V b) { return _mm256_and_si256(a, b); }
    TAVORIN_HEX_OP(AVX2) V Or(V a, V b) { return _mm256_or_si256(a, b); }
    TAVORIN_HEX_OP(AVX2) V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
    TAVORIN_HEX_OP(AVX2) V Add(V a, V b) { return _mm256_add_epi8(a, b); }
    TAVORIN_HEX_OP(AVX2) V Sub(V a, V b) { return _mm256_sub_epi8(a, b); }
    TAVORIN_HEX_OP(AVX2) V Max(V a, V b) { return _mm256_max_epu8(a, b); }
    TAVORIN_HEX_OP(AVX2) V Min(V a, V b) { return _mm256_min_epu8(a, b); }
    TAVORIN_HEX_OP(AVX2) V Equal(V a, V b) { return _mm256_cmpeq_epi8(a, b); }
    TAVORIN_HEX_OP(AVX2) V Greater(V a, V b) { return _mm256_cmpgt_epi8(a, b); }
    TAVORIN_HEX_OP(AVX2) V Right4(V a) { return _mm256_srli_epi16(a, 4); }
    TAVORIN_HEX_OP(AVX2) V Left4(V a) { return _mm256_slli_epi16(a, 4); }
    TAVORIN_HEX_OP(AVX2) V Shuffle(V table, V index) { return _mm256_shuffle_epi8(table, index); }
    TAVORIN_HEX_OP(AVX2) V UnpackLow(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
    TAVORIN_HEX_OP(AVX2) V UnpackHigh(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
    TAVORIN_HEX_OP(AVX2) V JoinAt10(V high, V low) { return _mm256_alignr_epi8(high, low, 10); }
    TAVORIN_HEX_OP(AVX2) std::uint32_t Signs(V a) { return static_cast<std::uint32_t>(_mm256_movemask_epi8(a)); }

    static void EncodeRest(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
        EncodeSsse3(data, n, gap, out);
    }
    template <class Char>
    static bool DecodeRest(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
        return DecodeSsse3(text, count, out);
    }
    static std::size_t LedRest(const char* text, std::size_t count, std::uint8_t* out) noexcept {
        return LedPairsSsse3(text, count, out);
    }
};
#endif

#undef TAVORIN_HEX_OP

// Each byte's two digits, interleaved in P0 and P1, shuffled into the three registers of its
// characters (for AVX2, each lane makes the 48 characters of its 16 bytes).
template <class W>
void EncodeLoop(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
    using V = typename W::V;
    const V digits =
        W::Lanes(_mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'));
    const V nibble = W::Set1(0x0F);
    const V gaps = W::Set1(gap);
    const V s0 = W::Table(kSpread[0]), s1 = W::Table(kSpread[1]), s2 = W::Table(kSpread[2]);
    const V g0 = W::And(W::Table(kGaps[0]), gaps);
    const V g1 = W::And(W::Table(kGaps[1]), gaps);
    const V g2 = W::And(W::Table(kGaps[2]), gaps);
    std::size_t i = 0;
    for (; i + W::kBytes <= n; i += W::kBytes) {
        W::Prefetch(data + i);
        const V b = W::LoadU(data + i);
        const V high = W::Shuffle(digits, W::And(W::Right4(b), nibble));
        const V low = W::Shuffle(digits, W::And(b, nibble));
        const V p0 = W::UnpackLow(high, low);
        const V p1 = W::UnpackHigh(high, low);
        W::Store3(out + 3 * i, W::Or(W::Shuffle(p0, s0), g0), W::Or(W::Shuffle(W::JoinAt10(p1, p0), s1), g1),
                  W::Or(W::Shuffle(p1, s2), g2));
    }
    W::EncodeRest(data + i, n - i, gap, out + 3 * i);
}

template TAVORIN_HEX_SSSE3 void EncodeLoop<Ssse3>(const std::uint8_t*, std::size_t, char, char*) noexcept;
#ifdef TAVORIN_HEX_X86
template TAVORIN_HEX_AVX2 void EncodeLoop<Avx2>(const std::uint8_t*, std::size_t, char, char*) noexcept;
#endif

TAVORIN_HEX_SSSE3 void EncodeSsse3(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
    EncodeLoop<Ssse3>(data, n, gap, out);
}

#ifdef TAVORIN_HEX_X86
TAVORIN_HEX_AVX2 void EncodeAvx2(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
    EncodeLoop<Avx2>(data, n, gap, out);
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
#endif

// The pairs' high and low digit characters gathered from three registers of 48 characters;
// their digit indexes (code - 48) are kept in `seen` by their maximum, checked against 22 at the
// end. Indexes 10 to 16 are the seven characters between "9" and "A": they make the pair 0. A
// block stops a pair short of the end, which may lack its gap.
template <class W, class Char>
bool DecodeLoop(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
    using V = typename W::V;
    const V h0 = W::Table(kGather[0][0]), h1 = W::Table(kGather[0][1]), h2 = W::Table(kGather[0][2]);
    const V l0 = W::Table(kGather[1][0]), l1 = W::Table(kGather[1][1]), l2 = W::Table(kGather[1][2]);
    const V code0 = W::Set1(48), nine = W::Set1(9), sixteen = W::Set1(16), seven = W::Set1(7);
    V seen = W::Zero();
    std::size_t i = 0;
    for (; i + W::kBytes < count; i += W::kBytes) {
        const Char* p = text + 3 * i;
        const V c0 = W::Chars(p), c1 = W::Chars(p + 16), c2 = W::Chars(p + 32);
        const V high = W::Or(W::Or(W::Shuffle(c0, h0), W::Shuffle(c1, h1)), W::Shuffle(c2, h2));
        const V low = W::Or(W::Or(W::Shuffle(c0, l0), W::Shuffle(c1, l1)), W::Shuffle(c2, l2));
        const V h = W::Sub(high, code0), l = W::Sub(low, code0);
        seen = W::Max(seen, W::Max(h, l));
        const V hLetter = W::Greater(h, nine), lLetter = W::Greater(l, nine);
        const V between = W::Or(W::AndNot(W::Greater(h, sixteen), hLetter), W::AndNot(W::Greater(l, sixteen), lLetter));
        const V hv = W::Sub(h, W::And(hLetter, seven));
        const V lv = W::Sub(l, W::And(lLetter, seven));
        const V value = W::Or(W::And(W::Left4(hv), W::Set1(static_cast<char>(0xF0))), lv);
        W::StoreU(out + i, W::AndNot(between, value));
    }
    const V limit = W::Set1(kCodes - 1);
    if (W::Signs(W::Equal(W::Max(seen, limit), limit)) != W::kAllBytes)
        return false;
    return W::DecodeRest(text + 3 * i, count - i, out + i);
}

template TAVORIN_HEX_SSSE3 bool DecodeLoop<Ssse3>(const char*, std::size_t, std::uint8_t*) noexcept;
template TAVORIN_HEX_SSSE3 bool DecodeLoop<Ssse3>(const char16_t*, std::size_t, std::uint8_t*) noexcept;
#ifdef TAVORIN_HEX_X86
template TAVORIN_HEX_AVX2 bool DecodeLoop<Avx2>(const char*, std::size_t, std::uint8_t*) noexcept;
template TAVORIN_HEX_AVX2 bool DecodeLoop<Avx2>(const char16_t*, std::size_t, std::uint8_t*) noexcept;
#endif

template <class Char>
TAVORIN_HEX_SSSE3 bool DecodeSsse3(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
    return DecodeLoop<Ssse3>(text, count, out);
}

#ifdef TAVORIN_HEX_X86
template <class Char>
TAVORIN_HEX_AVX2 bool DecodeAvx2(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
    return DecodeLoop<Avx2>(text, count, out);
}
#endif

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

// Each field of the triples (space, high digit, low digit) gathered from three registers; the
// value of each digit by its two nibbles, `good` keeping the minimum of the classes found, so
// that it ends 0 where a character is no digit.
template <class W>
std::size_t LedLoop(const char* text, std::size_t count, std::uint8_t* out) noexcept {
    using V = typename W::V;
    const V nibble = W::Set1(0x0F);
    std::size_t i = 0;
    for (; i + W::kBytes <= count; i += W::kBytes) {
        const char* p = text + 3 * i;
        const V c0 = W::Chars(p), c1 = W::Chars(p + 16), c2 = W::Chars(p + 32);
        V part[3];
        for (int k = 0; k < 3; ++k)
            part[k] = W::Or(W::Or(W::Shuffle(c0, W::Table(kLed[k][0])), W::Shuffle(c1, W::Table(kLed[k][1]))),
                            W::Shuffle(c2, W::Table(kLed[k][2])));
        V good = W::Equal(part[0], W::Set1(' '));
        for (int k = 1; k < 3; ++k) {
            const V high = W::And(W::Right4(part[k]), nibble), low = W::And(part[k], nibble);
            good = W::Min(good, W::And(W::Shuffle(W::Table(kHighClass), high), W::Shuffle(W::Table(kLowClasses), low)));
            part[k] = W::Add(low, W::Shuffle(W::Table(kLetterAdd), high));
        }
        W::StoreU(out + i, W::Or(W::Left4(part[1]), part[2]));
        if (const std::uint32_t bad = W::Signs(W::Equal(good, W::Zero())))
            return i + static_cast<std::size_t>(std::countr_zero(bad));
    }
    return i + W::LedRest(text + 3 * i, count - i, out + i);
}

template TAVORIN_HEX_SSSE3 std::size_t LedLoop<Ssse3>(const char*, std::size_t, std::uint8_t*) noexcept;
#ifdef TAVORIN_HEX_X86
template TAVORIN_HEX_AVX2 std::size_t LedLoop<Avx2>(const char*, std::size_t, std::uint8_t*) noexcept;
#endif

TAVORIN_HEX_SSSE3 std::size_t LedPairsSsse3(const char* text, std::size_t count, std::uint8_t* out) noexcept {
    return LedLoop<Ssse3>(text, count, out);
}

#ifdef TAVORIN_HEX_X86
TAVORIN_HEX_AVX2 std::size_t LedPairsAvx2(const char* text, std::size_t count, std::uint8_t* out) noexcept {
    return LedLoop<Avx2>(text, count, out);
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
#endif
template bool DecodeSsse3(const char*, std::size_t, std::uint8_t*) noexcept;
template bool DecodeSsse3(const char16_t*, std::size_t, std::uint8_t*) noexcept;
#ifdef TAVORIN_HEX_X86
template bool DecodeAvx2(const char*, std::size_t, std::uint8_t*) noexcept;
template bool DecodeAvx2(const char16_t*, std::size_t, std::uint8_t*) noexcept;
#endif

}  // namespace tavorin::modHEX::gapped

#endif

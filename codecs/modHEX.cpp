#include "codecs/modHEX.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>
#include <type_traits>

#include "base/AnsiCodePage.h"
#include "base/CpuFeatures.h"
#include "base/Failure.h"
#include "base/Team.h"

#if defined(__x86_64__) && !defined(__EMSCRIPTEN__)
#define TAVORIN_HEX_X86 1
#include <immintrin.h>
#endif

static_assert(std::endian::native == std::endian::little, "the pair words are laid out little-endian");

namespace tavorin::modHEX {

namespace {

// Digit codes run from 48 ("0") to 70 ("F"): 23 codes per digit.
constexpr std::uint32_t kFirstCode = 48;
constexpr std::uint32_t kCodes = 23;

struct HexTables {
    // Upper-case digits of every byte value, high digit first.
    std::array<std::array<char, 2>, 256> HexDigitTable{};
    // The byte of every pair of codes 48..70; zero where either code lies between "9" and "A".
    std::array<std::uint8_t, kCodes * kCodes> HexValueTable{};
};

constexpr HexTables BuildHexTables() {
    constexpr char digits[] = "0123456789ABCDEF";
    HexTables t;
    for (std::uint32_t v = 0; v < 256; ++v) {
        const char high = digits[v >> 4];
        const char low = digits[v & 15];
        t.HexDigitTable[v] = {high, low};
        t.HexValueTable[(static_cast<std::uint32_t>(high) - kFirstCode) * kCodes +
                        (static_cast<std::uint32_t>(low) - kFirstCode)] = static_cast<std::uint8_t>(v);
    }
    return t;
}

constexpr HexTables Tables = BuildHexTables();

static_assert(Tables.HexDigitTable[0x0A][0] == '0' && Tables.HexDigitTable[0x0A][1] == 'A');
static_assert(Tables.HexValueTable[('F' - kFirstCode) * kCodes + ('F' - kFirstCode)] == 0xFF);
static_assert(Tables.HexValueTable[(':' - kFirstCode) * kCodes + ('4' - kFirstCode)] == 0);

// The value table with each byte already turned into its code-page character.
const std::array<char16_t, kCodes * kCodes>& CharValueTable() {
    static const auto table = [] {
        std::array<char16_t, kCodes * kCodes> chars{};
        for (std::size_t i = 0; i < chars.size(); ++i)
            chars[i] = AnsiCodePage::ByteToChar(Tables.HexValueTable[i]);
        return chars;
    }();
    return table;
}

// The length of n pairs with gaps of s characters between them. n >= 1.
std::size_t OutputLength(std::size_t n, std::size_t s) {
    const std::size_t stride = s + 2;
    std::size_t total = 0;
    if (stride < s || __builtin_mul_overflow(n, stride, &total) || total - s >= std::u16string().max_size()) {
        throw Failure::OverflowError();
    }
    return total - s;
}

// n pairs, each from byteAt(i), with gaps of s copies of gap. n >= 1, s >= 1.
template <class Char, class ByteAt>
std::basic_string<Char> WritePairs(std::size_t n, std::size_t s, Char gap, ByteAt byteAt) {
    const std::size_t stride = s + 2;
    std::basic_string<Char> out(OutputLength(n, s), gap);
    for (std::size_t i = 0; i < n; ++i) {
        Char* p = out.data() + i * stride;
        const auto& digits = Tables.HexDigitTable[byteAt(i)];
        p[0] = static_cast<Char>(digits[0]);
        p[1] = static_cast<Char>(digits[1]);
    }
    return out;
}

// The number of pairs a text of n characters holds; never 0.
std::size_t PairCount(std::size_t n, std::int32_t separatorLength) {
    if (separatorLength < 0)
        throw Failure::Invalid("The separator length must not be negative");
    const std::uint64_t s = static_cast<std::uint64_t>(separatorLength);
    // (n + s) / (s + 2): one or two characters after the last pair are ignored, and for
    // longer separators no pair is dropped. Two characters are one pair whatever s is.
    const std::uint64_t count = n == 2 ? 1 : (static_cast<std::uint64_t>(n) + s) / (s + 2);
    if (count == 0)
        throw Failure::Subscript();
    return static_cast<std::size_t>(count);
}

template <class Char>
std::uint32_t DigitIndex(Char c) {
    return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(c)) - kFirstCode;
}

// Reads the pairs of text, one every `stride` characters, into out[0..count), each through
// table; false at the first digit outside "0".."F". Callers read into a buffer of their own
// and publish it only when the whole text was read, so a failure leaves no partial result.
template <class Char, class Out, class Table>
bool ReadPairs(const Char* text, std::size_t count, std::size_t stride, Out* out, const Table& table) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const Char* p = text + i * stride;
        const std::uint32_t high = DigitIndex(p[0]);
        const std::uint32_t low = DigitIndex(p[1]);
        if (high >= kCodes || low >= kCodes)
            return false;
        out[i] = table[high * kCodes + low];
    }
    return true;
}

// --- Pairs with one-character gaps --------------------------------------------------------
// Encoding writes 3n characters for n bytes, the gap after every pair (the last one too).
// Decoding reads `count` pairs at 3i and 3i + 1 from a text of at least 3 * count - 1
// characters and never looks at the gaps.

// Each byte's two digits as the low half of a word; the gap goes in the third byte.
constexpr auto PairWords = [] {
    std::array<std::uint32_t, 256> w{};
    for (std::uint32_t v = 0; v < 256; ++v) {
        w[v] = static_cast<std::uint8_t>(Tables.HexDigitTable[v][0]) |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(Tables.HexDigitTable[v][1])) << 8;
    }
    return w;
}();

void EncodePortable(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
    if (n == 0)
        return;
    const std::uint32_t gapWord = std::uint32_t{static_cast<std::uint8_t>(gap)} << 16;
    // Four bytes stored per pair, the fourth overwritten by the next pair.
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const std::uint32_t word = PairWords[data[i]] | gapWord;
        std::memcpy(out + 3 * i, &word, 4);
    }
    const std::uint32_t last = PairWords[data[n - 1]] | gapWord;
    std::memcpy(out + 3 * (n - 1), &last, 3);
}

template <class Char>
bool DecodePortable(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
    return ReadPairs(text, count, 3, out, Tables.HexValueTable);
}

// " XX" triples: the value of each digit of either case, 0xFF for any other character.
constexpr auto kAnyCaseDigit = [] {
    std::array<std::uint8_t, 256> t{};
    t.fill(0xFF);
    for (int c = 0; c < 10; ++c)
        t['0' + c] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c)
        t['A' + c] = t['a' + c] = static_cast<std::uint8_t>(10 + c);
    return t;
}();

std::size_t LedPairsPortable(const char* text, std::size_t count, std::uint8_t* out) noexcept {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text);
    std::size_t i = 0;
    for (; i < count; ++i, p += 3) {
        const std::uint8_t high = kAnyCaseDigit[p[1]], low = kAnyCaseDigit[p[2]];
        if (p[0] != ' ' || (high | low) == 0xFF)
            break;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return i;
}

#ifdef TAVORIN_HEX_X86

#define TAVORIN_HEX_SSSE3 __attribute__((target("ssse3")))
#define TAVORIN_HEX_AVX2 __attribute__((target("avx2")))
#define TAVORIN_HEX_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi")))

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

TAVORIN_HEX_SSSE3 inline __m128i Load(const Shuffle& s) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(s.data()));
}

TAVORIN_HEX_AVX2 inline __m256i Load2(const Shuffle& s) { return _mm256_broadcastsi128_si256(Load(s)); }

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

#undef TAVORIN_HEX_SSSE3
#undef TAVORIN_HEX_AVX2
#undef TAVORIN_HEX_AVX512

#endif

bool CpuRuns(Path path) noexcept {
    switch (path) {
    case Path::Portable:
        return true;
#ifdef TAVORIN_HEX_X86
    case Path::Ssse3:
        return cpu::Ssse3();
    case Path::Avx2:
        return cpu::Avx2();
    case Path::Avx512:
        return cpu::Avx512Vbmi();
#endif
    default:
        return false;
    }
}

std::atomic<Path>& Chosen() noexcept {
    static std::atomic<Path> chosen{CpuRuns(Path::Avx512)  ? Path::Avx512
                                    : CpuRuns(Path::Avx2)  ? Path::Avx2
                                    : CpuRuns(Path::Ssse3) ? Path::Ssse3
                                                           : Path::Portable};
    return chosen;
}

void EncodeGapped(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept {
    switch (Chosen().load(std::memory_order_relaxed)) {
#ifdef TAVORIN_HEX_X86
    case Path::Avx512:
        return EncodeAvx512(data, n, gap, out);
    case Path::Avx2:
        return EncodeAvx2(data, n, gap, out);
    case Path::Ssse3:
        return EncodeSsse3(data, n, gap, out);
#endif
    default:
        return EncodePortable(data, n, gap, out);
    }
}

template <class Char>
bool DecodeGapped(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
    switch (Chosen().load(std::memory_order_relaxed)) {
#ifdef TAVORIN_HEX_X86
    case Path::Avx512:
    case Path::Avx2:
        return DecodeAvx2(text, count, out);
    case Path::Ssse3:
        return DecodeSsse3(text, count, out);
#endif
    default:
        return DecodePortable(text, count, out);
    }
}

// Large texts are read on every core, in pieces of this many pairs.
constexpr std::size_t kPiecePairs = std::size_t{1} << 18;

template <class Char>
bool DecodeOnEveryCore(const Char* text, std::size_t count, std::uint8_t* out) {
    const std::size_t pieces = (count + kPiecePairs - 1) / kPiecePairs;
    if (pieces < 2 || CoreCount() < 2)
        return DecodeGapped(text, count, out);
    std::atomic<bool> bad{false};
    Team(std::min(CoreCount(), pieces)).Run(pieces, [&](std::size_t k) {
        const std::size_t from = k * kPiecePairs;
        if (!DecodeGapped(text + 3 * from, std::min(kPiecePairs, count - from), out + from))
            bad.store(true, std::memory_order_relaxed);
    });
    return !bad.load();
}

template <class Char>
ByteArray DecodeToBytes(std::basic_string_view<Char> text, std::int32_t separatorLength) {
    const std::size_t count = PairCount(text.size(), separatorLength);
    ByteArray bytes(count);
    const bool read = separatorLength == 1
                          ? DecodeOnEveryCore(text.data(), count, bytes.data())
                          : ReadPairs(text.data(), count, static_cast<std::size_t>(separatorLength) + 2, bytes.data(),
                                      Tables.HexValueTable);
    if (!read)
        throw Failure::Subscript();
    return bytes;
}

// Pieces of this many bytes go through a buffer on the stack.
constexpr std::size_t kSlice = 4096;

}  // namespace

std::u16string StringToHex(std::u16string_view text, std::u16string_view separator) {
    if (text.empty())
        throw Failure::Subscript();
    if (separator.empty())
        throw Failure::Invalid("The separator is empty");
    // The gaps must go through the code page as well; a character it cannot hold is refused.
    (void)AnsiCodePage::TextToBytes(separator.substr(0, 1));
    const ByteArray bytes = AnsiCodePage::TextToBytes(text);
    if (separator.size() != 1) {
        return WritePairs<char16_t>(bytes.size(), separator.size(), separator[0],
                                    [&bytes](std::size_t i) { return bytes[i]; });
    }
    const char16_t gap = separator[0];
    std::u16string out(OutputLength(bytes.size(), 1), u'\0');
    std::array<char, 3 * kSlice> narrow;
    for (std::size_t at = 0; at < bytes.size(); at += kSlice) {
        const std::size_t n = std::min(kSlice, bytes.size() - at);
        EncodeGapped(bytes.data() + at, n, ' ', narrow.data());
        const std::size_t chars = std::min(3 * n, out.size() - 3 * at);
        char16_t* o = out.data() + 3 * at;
        for (std::size_t i = 0; i < chars; ++i)
            o[i] = static_cast<std::uint8_t>(narrow[i]);
        if (gap != u' ') {
            for (std::size_t i = 2; i < chars; i += 3)
                o[i] = gap;
        }
    }
    return out;
}

std::u16string HexToString(std::u16string_view text, std::int32_t separatorLength) {
    const std::size_t count = PairCount(text.size(), separatorLength);
    std::u16string out(count, u'\0');
    if (separatorLength != 1) {
        if (!ReadPairs(text.data(), count, static_cast<std::size_t>(separatorLength) + 2, out.data(), CharValueTable()))
            throw Failure::Subscript();
        return out;
    }
    std::array<std::uint8_t, kSlice> bytes;
    for (std::size_t at = 0; at < count; at += kSlice) {
        const std::size_t n = std::min(kSlice, count - at);
        if (!DecodeGapped(text.data() + 3 * at, n, bytes.data()))
            throw Failure::Subscript();
        for (std::size_t i = 0; i < n; ++i)
            out[at + i] = AnsiCodePage::ByteToChar(bytes[i]);
    }
    return out;
}

std::string BytesToHex(const std::uint8_t* data, std::size_t size, std::string_view separator) {
    if (size == 0)
        throw Failure::Subscript();
    if (separator.empty())
        throw Failure::Invalid("The separator is empty");
    if (separator.size() != 1)
        return WritePairs<char>(size, separator.size(), separator[0], [data](std::size_t i) { return data[i]; });
    std::string out(OutputLength(size, 1) + 1, '\0');  // room for the last pair's gap
    EncodeGapped(data, size, separator[0], out.data());
    out.pop_back();
    return out;
}

void WriteSpacedPairs(const std::uint8_t* data, std::size_t size, char* out) noexcept {
    EncodeGapped(data, size, ' ', out);
}

ByteArray HexToBytes(std::string_view text, std::int32_t separatorLength) {
    return DecodeToBytes(text, separatorLength);
}

ByteArray HexToBytes(std::u16string_view text, std::int32_t separatorLength) {
    return DecodeToBytes(text, separatorLength);
}

std::size_t ReadSpaceLedPairs(const char* text, std::size_t size, std::size_t most, std::uint8_t* out) noexcept {
    const std::size_t count = std::min(size / 3, most);
    switch (Chosen().load(std::memory_order_relaxed)) {
#ifdef TAVORIN_HEX_X86
    case Path::Avx512:
        return LedPairsAvx512(text, count, out);
    case Path::Avx2:
        return LedPairsAvx2(text, count, out);
    case Path::Ssse3:
        return LedPairsSsse3(text, count, out);
#endif
    default:
        return LedPairsPortable(text, count, out);
    }
}

bool PathAvailable(Path path) noexcept { return CpuRuns(path); }

Path ActivePath() noexcept { return Chosen().load(std::memory_order_relaxed); }

bool SelectPath(Path path) noexcept {
    if (!CpuRuns(path))
        return false;
    Chosen().store(path, std::memory_order_relaxed);
    return true;
}

}  // namespace tavorin::modHEX

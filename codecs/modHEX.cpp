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
#include "codecs/HexOnEveryCore.h"
#include "codecs/HexX86.h"

static_assert(std::endian::native == std::endian::little, "the pair words are laid out little-endian");

namespace tavorin::modHEX {

namespace {

using gapped::kCodes;
using gapped::kFirstCode;

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
        throw Failure(FailureKind::TooLarge);
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
        throw Failure(FailureKind::BadArgument, "The separator length must not be negative");
    const std::uint64_t s = static_cast<std::uint64_t>(separatorLength);
    // (n + s) / (s + 2): one or two characters after the last pair are ignored, and for
    // longer separators no pair is dropped. Two characters are one pair whatever s is.
    const std::uint64_t count = n == 2 ? 1 : (static_cast<std::uint64_t>(n) + s) / (s + 2);
    if (count == 0)
        throw Failure(FailureKind::NoPairs);
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

// --- Pairs with one-character gaps: the portable forms (HexX86.h) -----------------------

// Each byte's two digits as the low half of a word; the gap goes in the third byte.
constexpr auto PairWords = [] {
    std::array<std::uint32_t, 256> w{};
    for (std::uint32_t v = 0; v < 256; ++v) {
        w[v] = static_cast<std::uint8_t>(Tables.HexDigitTable[v][0]) |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(Tables.HexDigitTable[v][1])) << 8;
    }
    return w;
}();

}  // namespace

namespace gapped {

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

template bool DecodePortable(const char*, std::size_t, std::uint8_t*) noexcept;
template bool DecodePortable(const char16_t*, std::size_t, std::uint8_t*) noexcept;

}  // namespace gapped

namespace {

bool CpuRuns(Path path) noexcept {
    switch (path) {
    case Path::Portable:
        return true;
#ifdef TAVORIN_HEX_VECTOR
    case Path::Ssse3:
        return cpu::Ssse3();
#endif
#ifdef TAVORIN_HEX_X86
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
        return gapped::EncodeAvx512(data, n, gap, out);
    case Path::Avx2:
        return gapped::EncodeAvx2(data, n, gap, out);
#endif
#ifdef TAVORIN_HEX_VECTOR
    case Path::Ssse3:
        return gapped::EncodeSsse3(data, n, gap, out);
#endif
    default:
        return gapped::EncodePortable(data, n, gap, out);
    }
}

template <class Char>
bool DecodeGapped(const Char* text, std::size_t count, std::uint8_t* out) noexcept {
    switch (Chosen().load(std::memory_order_relaxed)) {
#ifdef TAVORIN_HEX_X86
    case Path::Avx512:
    case Path::Avx2:
        return gapped::DecodeAvx2(text, count, out);
#endif
#ifdef TAVORIN_HEX_VECTOR
    case Path::Ssse3:
        return gapped::DecodeSsse3(text, count, out);
#endif
    default:
        return gapped::DecodePortable(text, count, out);
    }
}

template <class Char>
ByteArray DecodeToBytes(std::basic_string_view<Char> text, std::int32_t separatorLength) {
    const std::size_t count = PairCount(text.size(), separatorLength);
    ByteArray bytes(count);
    const bool read = separatorLength == 1
                          ? DecodeOnEveryCore(text.data(), count, bytes.data(), &DecodeGapped<Char>)
                          : ReadPairs(text.data(), count, static_cast<std::size_t>(separatorLength) + 2, bytes.data(),
                                      Tables.HexValueTable);
    if (!read)
        throw Failure(FailureKind::BadHexDigit);
    return bytes;
}

// Pieces of this many bytes go through a buffer on the stack.
constexpr std::size_t kSlice = 4096;

}  // namespace

std::u16string StringToHex(std::u16string_view text, std::u16string_view separator) {
    if (text.empty())
        throw Failure(FailureKind::NoPairs);
    if (separator.empty())
        throw Failure(FailureKind::BadArgument, "The separator is empty");
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
            throw Failure(FailureKind::BadHexDigit);
        return out;
    }
    std::array<std::uint8_t, kSlice> bytes;
    for (std::size_t at = 0; at < count; at += kSlice) {
        const std::size_t n = std::min(kSlice, count - at);
        if (!DecodeGapped(text.data() + 3 * at, n, bytes.data()))
            throw Failure(FailureKind::BadHexDigit);
        for (std::size_t i = 0; i < n; ++i)
            out[at + i] = AnsiCodePage::ByteToChar(bytes[i]);
    }
    return out;
}

std::string BytesToHex(const std::uint8_t* data, std::size_t size, std::string_view separator) {
    if (size == 0)
        throw Failure(FailureKind::NoPairs);
    if (separator.empty())
        throw Failure(FailureKind::BadArgument, "The separator is empty");
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
        return gapped::LedPairsAvx512(text, count, out);
    case Path::Avx2:
        return gapped::LedPairsAvx2(text, count, out);
#endif
#ifdef TAVORIN_HEX_VECTOR
    case Path::Ssse3:
        return gapped::LedPairsSsse3(text, count, out);
#endif
    default:
        return gapped::LedPairsPortable(text, count, out);
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

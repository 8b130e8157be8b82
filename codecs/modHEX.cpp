#include "codecs/modHEX.h"

#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <type_traits>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"

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

// n pairs, each from byteAt(i), with gaps of s copies of gap. n >= 1, s >= 1.
template <class Char, class ByteAt>
std::basic_string<Char> WritePairs(std::size_t n, std::size_t s, Char gap, ByteAt byteAt) {
    const std::size_t stride = s + 2;
    std::size_t total = 0;
    if (stride < s || __builtin_mul_overflow(n, stride, &total) || total - s > std::basic_string<Char>().max_size()) {
        throw Failure::OverflowError();
    }
    std::basic_string<Char> out(total - s, gap);
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

// Reads the pairs of text into out[0..count), each through table. The whole text is read
// before the caller publishes anything, so a failure leaves no partial result.
template <class Char, class Out, class Table>
void ReadPairs(std::basic_string_view<Char> text, std::size_t count, std::int32_t separatorLength, Out* out,
               const Table& table) {
    const std::size_t stride = static_cast<std::size_t>(separatorLength) + 2;
    for (std::size_t i = 0; i < count; ++i) {
        const Char* p = text.data() + i * stride;
        const std::uint32_t high = DigitIndex(p[0]);
        const std::uint32_t low = DigitIndex(p[1]);
        if (high >= kCodes || low >= kCodes)
            throw Failure::Subscript();
        out[i] = table[high * kCodes + low];
    }
}

template <class Char>
ByteArray DecodeToBytes(std::basic_string_view<Char> text, std::int32_t separatorLength) {
    const std::size_t count = PairCount(text.size(), separatorLength);
    ByteArray bytes(count);
    ReadPairs(text, count, separatorLength, bytes.data(), Tables.HexValueTable);
    return bytes;
}

}  // namespace

std::u16string StringToHex(std::u16string_view text, std::u16string_view separator) {
    if (text.empty())
        throw Failure::Subscript();
    if (separator.empty())
        throw Failure::Invalid("The separator is empty");
    // The gaps must go through the code page as well; a character it cannot hold is refused.
    (void)AnsiCodePage::TextToBytes(separator.substr(0, 1));
    const ByteArray bytes = AnsiCodePage::TextToBytes(text);
    return WritePairs<char16_t>(bytes.size(), separator.size(), separator[0],
                                [&bytes](std::size_t i) { return bytes[i]; });
}

std::u16string HexToString(std::u16string_view text, std::int32_t separatorLength) {
    const std::size_t count = PairCount(text.size(), separatorLength);
    std::u16string out(count, u'\0');
    ReadPairs(text, count, separatorLength, out.data(), CharValueTable());
    return out;
}

std::string BytesToHex(const std::uint8_t* data, std::size_t size, std::string_view separator) {
    if (size == 0)
        throw Failure::Subscript();
    if (separator.empty())
        throw Failure::Invalid("The separator is empty");
    return WritePairs<char>(size, separator.size(), separator[0], [data](std::size_t i) { return data[i]; });
}

void WriteSpacedPairs(const std::uint8_t* data, std::size_t size, char* out) noexcept {
    // Each byte's three characters as one word; four bytes stored per pair, the fourth
    // overwritten by the next pair.
    static constexpr auto words = [] {
        std::array<std::uint32_t, 256> w{};
        for (std::uint32_t v = 0; v < 256; ++v) {
            w[v] = static_cast<std::uint8_t>(Tables.HexDigitTable[v][0]) |
                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(Tables.HexDigitTable[v][1])) << 8 |
                   std::uint32_t{' '} << 16;
        }
        return w;
    }();
    if (size == 0)
        return;
    for (std::size_t i = 0; i + 1 < size; ++i) {
        std::memcpy(out + 3 * i, &words[data[i]], 4);
    }
    std::memcpy(out + 3 * (size - 1), &words[data[size - 1]], 3);
}

ByteArray HexToBytes(std::string_view text, std::int32_t separatorLength) {
    return DecodeToBytes(text, separatorLength);
}

ByteArray HexToBytes(std::u16string_view text, std::int32_t separatorLength) {
    return DecodeToBytes(text, separatorLength);
}

}  // namespace tavorin::modHEX

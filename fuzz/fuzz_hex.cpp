// HexToString with any separator length, against a plain reading of the rules, and the
// round trip from StringToHex with separators of any length; on every path the CPU runs.
#include <algorithm>
#include <variant>

#include "base/Failure.h"
#include "codecs/modHEX.h"
#include "fuzz/FuzzSupport.h"

using namespace tavorin;

namespace {

// The value of a pair, or -1 when a digit is outside "0".."F"; the seven characters
// between "9" and "A" make the pair 0.
int PairValue(char16_t hi, char16_t lo) {
    auto digit = [](char16_t c) -> int {
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (c >= u'A' && c <= u'F')
            return c - u'A' + 10;
        if (c >= u':' && c <= u'@')
            return 16;
        return -1;
    };
    const int h = digit(hi), l = digit(lo);
    if (h < 0 || l < 0)
        return -1;
    return (h == 16 || l == 16) ? 0 : h * 16 + l;
}

// What HexToString must give: the bytes, or the failure number.
std::variant<ByteArray, std::int32_t> Expected(std::u16string_view text, std::int32_t s) {
    if (s < 0)
        return Failure::InvalidArgument;
    const std::uint64_t n = text.size();
    const std::uint64_t stride = static_cast<std::uint64_t>(s) + 2;
    const std::uint64_t count = n == 2 ? 1 : (n + static_cast<std::uint64_t>(s)) / stride;
    if (count == 0)
        return Failure::SubscriptOutOfRange;
    ByteArray bytes;
    for (std::uint64_t i = 0; i < count; ++i) {
        const int v = PairValue(text[i * stride], text[i * stride + 1]);
        if (v < 0)
            return Failure::SubscriptOutOfRange;
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    return bytes;
}

}  // namespace

namespace {

void CheckPath(const std::u16string& text, std::int32_t s, std::uint8_t mode,
               const std::variant<ByteArray, std::int32_t>& expected) {
    try {
        const std::u16string got = modHEX::HexToString(text, s);
        FUZZ_CHECK(std::holds_alternative<ByteArray>(expected));
        FUZZ_CHECK(got == AnsiCodePage::BytesToText(std::get<ByteArray>(expected)));
        FUZZ_CHECK(modHEX::HexToBytes(text, s) == std::get<ByteArray>(expected));
    } catch (const Failure& f) {
        FUZZ_CHECK(std::holds_alternative<std::int32_t>(expected));
        FUZZ_CHECK(f.Number() == std::get<std::int32_t>(expected));
    }
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; })) {
        const std::string narrow(text.begin(), text.end());
        try {
            FUZZ_CHECK(modHEX::HexToBytes(narrow, s) == std::get<ByteArray>(expected));
        } catch (const Failure& f) {
            FUZZ_CHECK(std::holds_alternative<std::int32_t>(expected) &&
                       f.Number() == std::get<std::int32_t>(expected));
        }
    }

    // Any text through the code page, with any separator of 1 to 40 characters, comes back.
    if (!text.empty()) {
        const std::size_t sepLength = 1 + (mode >> 2) % 40;
        const std::u16string separator(sepLength, text.back() < 0x100 ? text.back() : u'-');
        try {
            const std::u16string hex = modHEX::StringToHex(text, separator);
            FUZZ_CHECK(hex.size() == 2 * text.size() + sepLength * (text.size() - 1));
            FUZZ_CHECK(modHEX::HexToString(hex, static_cast<std::int32_t>(sepLength)) == text);
            const ByteArray bytes = AnsiCodePage::TextToBytes(text);
            const std::string narrow = modHEX::BytesToHex(bytes.data(), bytes.size(), std::string(sepLength, ' '));
            FUZZ_CHECK(modHEX::HexToBytes(narrow, static_cast<std::int32_t>(sepLength)) == bytes);
        } catch (const Failure& f) {
            FUZZ_CHECK(f.Number() == Failure::InvalidArgument);  // a character the code page cannot hold
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
    std::int32_t s = in.ConsumeIntegral<std::int32_t>();
    if (mode & 2)
        s = static_cast<std::int32_t>(static_cast<std::uint32_t>(s) % 8);  // mostly short ones
    std::u16string text;
    if (mode & 1) {
        while (in.remaining_bytes() >= 2)
            text.push_back(in.ConsumeIntegral<char16_t>());
    } else {
        for (std::uint8_t b : in.ConsumeRemainingBytes<std::uint8_t>())
            text.push_back(AnsiCodePage::ByteToChar(b));
    }

    const auto expected = Expected(text, s);
    // Space-led pairs in the text's low bytes: every path takes the same triples.
    std::string narrow(text.begin(), text.end());
    ByteArray led(narrow.size() / 3), ledPortable(led.size());
    std::string spaced(3 * narrow.size(), '\0'), spacedPortable;
    for (const auto path : {modHEX::Path::Portable, modHEX::Path::Ssse3, modHEX::Path::Avx2, modHEX::Path::Avx512}) {
        if (modHEX::SelectPath(path)) {
            CheckPath(text, s, mode, expected);
            const std::size_t n = modHEX::ReadSpaceLedPairs(narrow.data(), narrow.size(), narrow.size(), led.data());
            modHEX::WriteSpacedPairs(reinterpret_cast<const std::uint8_t*>(narrow.data()), narrow.size(),
                                     spaced.data());
            if (path == modHEX::Path::Portable) {
                ledPortable.assign(led.begin(), led.begin() + static_cast<std::ptrdiff_t>(n));
                spacedPortable = spaced;
            } else {
                FUZZ_CHECK(ByteArray(led.begin(), led.begin() + static_cast<std::ptrdiff_t>(n)) == ledPortable);
                FUZZ_CHECK(spaced == spacedPortable);
            }
        }
    }
    return 0;
}

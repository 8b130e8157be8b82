#include "base/AnsiCodePage.h"

#include <array>
#include <cstdio>
#include <limits>

#include "base/Failure.h"
#include "base/Normaliser.h"

namespace tavorin {

namespace {

// Characters of the bytes 0x80 to 0x9F; the unassigned five keep their own number.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Byte -> character, and character -> byte in two steps: the character's high byte picks a
// page of 256 entries. Ciphertext turned into text has every byte value equally often, so a
// branch per character would be mispredicted at every turn. An entry above 0xFF: no byte.
constexpr std::uint16_t kNoByte = 0x100;
constexpr std::size_t kPages = 6;  // none, U+00xx, U+01xx, U+02xx, U+20xx, U+21xx

struct CodePageTables {
    std::array<char16_t, 256> charOfByte{};
    std::array<std::uint8_t, 256> pageOfHighByte{};
    std::array<std::array<std::uint16_t, 256>, kPages> byteOfChar{};
};

constexpr CodePageTables BuildCodePageTables() {
    CodePageTables t;
    for (auto& page : t.byteOfChar)
        page.fill(kNoByte);
    std::size_t used = 1;  // page 0 refuses everything
    for (std::uint32_t b = 0; b < 256; ++b) {
        const char16_t c = (b >= 0x80 && b <= 0x9F) ? kHighControls[b - 0x80] : static_cast<char16_t>(b);
        t.charOfByte[b] = c;
        std::uint8_t& page = t.pageOfHighByte[c >> 8];
        if (page == 0)
            page = static_cast<std::uint8_t>(used++);
        t.byteOfChar[page][c & 0xFF] = static_cast<std::uint16_t>(b);
    }
    return t;
}

constexpr CodePageTables Tables = BuildCodePageTables();
static_assert(Tables.byteOfChar[Tables.pageOfHighByte[0x20]][0xAC] == 0x80);
static_assert(Tables.byteOfChar[Tables.pageOfHighByte[0x00]][0x80] == kNoByte);

inline std::uint16_t ByteOrNone(char16_t c) noexcept {
    return Tables.byteOfChar[Tables.pageOfHighByte[c >> 8]][c & 0xFF];
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

char32_t CodePointAt(std::u16string_view text, std::size_t i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    }
    return c;
}

}  // namespace

char16_t AnsiCodePage::ByteToChar(std::uint8_t b) noexcept { return Tables.charOfByte[b]; }

bool AnsiCodePage::CharToByte(char16_t c, std::uint8_t& out) noexcept {
    const std::uint16_t b = ByteOrNone(c);
    if (b == kNoByte)
        return false;
    out = static_cast<std::uint8_t>(b);
    return true;
}

std::u16string AnsiCodePage::BytesToText(const std::uint8_t* bytes, std::size_t size) {
    std::u16string text(size, u'\0');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = Tables.charOfByte[bytes[i]];
    }
    return text;
}

ByteArray AnsiCodePage::TextToBytes(std::u16string_view text) {
    ByteArray bytes(text.size());
    std::uint16_t refused = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint16_t b = ByteOrNone(text[i]);
        bytes[i] = static_cast<std::uint8_t>(b);
        refused |= b;
    }
    if (refused & kNoByte) {
        SecureWipe(bytes);  // it may hold most of a key
        throw Failure(FailureKind::NotInCodePage, "The character " + DescribeCodePoint(*FirstUnrepresentable(text)) +
                                                      " cannot be written in the Windows-1252 code page");
    }
    return bytes;
}

std::optional<char32_t> AnsiCodePage::FirstUnrepresentable(std::u16string_view text) noexcept {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ByteOrNone(text[i]) == kNoByte) {
            return CodePointAt(text, i);
        }
    }
    return std::nullopt;
}

ByteArray AnsiCodePage::NormalizedTextToBytes(std::u16string_view text) {
    // The normalised copy of a key is a key: wiped whatever happens.
    std::u16string nfc = NormalizeNFC(text);
    const struct Wipe {
        std::u16string& s;
        ~Wipe() { SecureWipe(s); }
    } wipe{nfc};
    return TextToBytes(nfc);
}

std::u16string NormalizeNFC(std::u16string_view text) {
    // Below U+0300 there are no combining marks and nothing that NFC changes; nor does it change
    // any text of Windows-1252 characters alone (none combines, none decomposes to anything but
    // itself again), so text that passed the gate is not normalised a second time.
    for (char16_t c : text) {
        if (c >= 0x300 && ByteOrNone(c) == kNoByte) {
            return SystemNFC(text);
        }
    }
    return std::u16string(text);
}

std::string DescribeCodePoint(char32_t cp) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(cp));
    std::string result = number;
    if (cp == 0xFEFF) {
        return result + " (byte-order mark)";  // invisible: its name says what it is
    }
    const bool printable =
        cp >= 0x20 && cp != 0x7F && !(cp >= 0x80 && cp < 0xA0) && !(cp >= 0xD800 && cp <= 0xDFFF) && cp <= 0x10FFFF;
    if (printable) {
        std::u16string one;
        if (cp >= 0x10000) {
            one.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            one.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            one.push_back(static_cast<char16_t>(cp));
        }
        result += " '" + ToUtf8(one) + "'";
    }
    return result;
}

std::u16string FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n;) {
        const Utf8Sequence s = DecodeUtf8(p, n, i);
        if (s.length == 0) {
            throw Failure(FailureKind::NotUtf8, "The text is not valid UTF-8 (byte offset " + std::to_string(i) + ")");
        }
        if (s.cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((s.cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((s.cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(s.cp));
        }
        i += s.length;
    }
    return out;
}

std::optional<std::size_t> FirstInvalidUtf8(std::string_view utf8) noexcept {
    const auto* p = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const std::size_t n = utf8.size();
    for (std::size_t i = AsciiPrefix(p, n); i < n; i += AsciiPrefix(p + i, n - i)) {
        const Utf8Sequence s = DecodeUtf8(p, n, i);
        if (s.length == 0) {
            return i;
        }
        i += s.length;
    }
    return std::nullopt;
}

std::string ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (IsHighSurrogate(utf16[i]) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
            cp = CodePointAt(utf16, i);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace tavorin

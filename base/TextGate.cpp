#include "base/TextGate.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/AnsiCodePage.h"
#include "base/Memory.h"
#include "base/Types.h"

namespace tavorin {

GatedText PassTextGate(std::u16string_view text) {
    GatedText gated{NormalizeNFC(text), std::nullopt};
    gated.refused = AnsiCodePage::FirstUnrepresentable(gated.text);
    if (gated.refused) {
        SecureWipe(gated.text);
        gated.text.clear();
    }
    return gated;
}

namespace {

[[noreturn]] void RefuseCharacter(char32_t c) {
    throw TextFailure(FailureKind::NotInCodePage,
                      "The character " + DescribeCodePoint(c) + " cannot be written in the Windows-1252 code page", c,
                      0);
}

[[noreturn]] void RefuseUtf8(std::size_t offset) {
    throw TextFailure(FailureKind::NotUtf8, "The text is not valid UTF-8 (byte offset " + std::to_string(offset) + ")",
                      0, offset);
}

bool AllAscii(std::u16string_view text) noexcept {
    char16_t seen = 0;
    std::size_t i = 0;
    for (; i + 32 <= text.size() && seen < 0x80; i += 32) {
        for (std::size_t k = 0; k < 32; ++k) {
            seen |= text[i + k];
        }
    }
    for (; i < text.size(); ++i) {
        seen |= text[i];
    }
    return seen < 0x80;
}

// Each byte's character as UTF-8, at most three bytes.
struct Utf8Char {
    std::array<char, 3> bytes{};
    std::uint8_t length = 0;
};

const std::array<Utf8Char, 256>& Windows1252Utf8() {
    static const auto table = [] {
        std::array<Utf8Char, 256> t{};
        for (unsigned b = 0; b < 256; ++b) {
            const char16_t c = AnsiCodePage::ByteToChar(static_cast<std::uint8_t>(b));
            const std::string u = ToUtf8(std::u16string_view(&c, 1));
            std::memcpy(t[b].bytes.data(), u.data(), std::min(u.size(), t[b].bytes.size()));
            t[b].length = static_cast<std::uint8_t>(u.size());
        }
        return t;
    }();
    return table;
}

}  // namespace

ByteArray EncodeMessage(std::u16string_view text, MessageEncoding encoding, std::size_t room) {
    ByteArray bytes;
    if (AllAscii(text)) {
        // Its own normal form, and the same bytes in either encoding; the pages mapped at once.
        bytes.reserve(text.size() + room);
        PrefaultPages(bytes.data(), bytes.capacity());
        bytes.resize(text.size());
        std::transform(text.begin(), text.end(), bytes.begin(),
                       [](char16_t c) { return static_cast<std::uint8_t>(c); });
        return bytes;
    }
    if (encoding == MessageEncoding::Utf8) {
        std::string utf8 = ToUtf8(text);
        bytes.reserve(utf8.size() + room);
        bytes.assign(utf8.begin(), utf8.end());
        SecureWipe(utf8);
        return bytes;
    }
    GatedText gated = PassTextGate(text);
    if (gated.refused) {
        RefuseCharacter(*gated.refused);
    }
    bytes.reserve(gated.text.size() + room);
    bytes.resize(gated.text.size());
    for (std::size_t i = 0; i < gated.text.size(); ++i) {
        AnsiCodePage::CharToByte(gated.text[i], bytes[i]);
    }
    SecureWipe(gated.text);
    return bytes;
}

void EncodeMessage(ByteArray& text, MessageEncoding encoding) {
    std::uint8_t* const p = text.data();
    const std::size_t n = text.size();
    const std::size_t ascii = AsciiPrefix(p, n);
    if (ascii == n) {
        return;  // ASCII is the same in both
    }
    const std::string_view utf8(reinterpret_cast<const char*>(p), n);
    if (const auto bad = FirstInvalidUtf8(utf8.substr(ascii))) {
        SecureWipe(text);
        RefuseUtf8(ascii + *bad);
    }
    if (encoding == MessageEncoding::Utf8) {
        return;
    }
    bool representable = true;
    for (std::size_t i = ascii; i < n && representable;) {
        i += AsciiPrefix(p + i, n - i);
        if (i == n) {
            break;
        }
        const Utf8Sequence s = DecodeUtf8(p, n, i);
        std::uint8_t b = 0;
        representable = s.cp < 0x10000 && AnsiCodePage::CharToByte(static_cast<char16_t>(s.cp), b);
        i += s.length;
    }
    if (!representable) {
        // Letters typed as letter + combining mark are composed first; what is still left
        // over is refused by name.
        std::u16string wide = FromUtf8(utf8);
        GatedText gated = PassTextGate(wide);
        SecureWipe(wide);
        if (gated.refused) {
            SecureWipe(text);
            RefuseCharacter(*gated.refused);
        }
        // Never longer than the UTF-8 it came from: written over it, in the same buffer.
        for (std::size_t i = 0; i < gated.text.size(); ++i) {
            AnsiCodePage::CharToByte(gated.text[i], p[i]);
        }
        SecureWipe(p + gated.text.size(), n - gated.text.size());
        text.resize(gated.text.size());
        SecureWipe(gated.text);
        return;
    }
    // Every character has its byte: converted in place (the output never runs ahead).
    std::size_t out = ascii;
    for (std::size_t i = ascii; i < n;) {
        if (p[i] < 0x80) {
            p[out++] = p[i++];
            continue;
        }
        const Utf8Sequence s = DecodeUtf8(p, n, i);
        AnsiCodePage::CharToByte(static_cast<char16_t>(s.cp), p[out++]);
        i += s.length;
    }
    SecureWipe(p + out, n - out);
    text.resize(out);
}

std::u16string DecodeMessage(const ByteArray& bytes, MessageEncoding encoding) {
    if (encoding == MessageEncoding::Windows1252) {
        return AnsiCodePage::BytesToText(bytes);
    }
    const std::string_view utf8(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (const auto bad = FirstInvalidUtf8(utf8)) {
        RefuseUtf8(*bad);
    }
    return FromUtf8(utf8);
}

std::size_t DecodedLength(const std::uint8_t* data, std::size_t size, MessageEncoding encoding) noexcept {
    std::size_t length = size;
    if (encoding == MessageEncoding::Windows1252) {
        // Bytes from 0x80 on stand for characters of two or three UTF-8 bytes.
        for (std::size_t i = AsciiPrefix(data, size); i < size; i += AsciiPrefix(data + i, size - i)) {
            length += AnsiCodePage::ByteToChar(data[i++]) < 0x800 ? 1 : 2;
        }
    }
    return length;
}

void DecodeMessage(const std::uint8_t* data, std::size_t size, MessageEncoding encoding, const TextSink& sink) {
    if (encoding == MessageEncoding::Utf8) {
        if (const auto bad = FirstInvalidUtf8(std::string_view(reinterpret_cast<const char*>(data), size))) {
            RefuseUtf8(*bad);
        }
        sink(reinterpret_cast<const char*>(data), size);
        return;
    }
    // Runs of ASCII go out as they are; the rest through a buffer of at most a slice.
    constexpr std::size_t kSlice = std::size_t{1} << 16;
    std::string buffer;  // made when a character needs it, no larger than the text needs
    struct Wipe {
        std::string& text;
        ~Wipe() { SecureWipe(text); }
    } wipe{buffer};
    for (std::size_t at = 0; at < size;) {
        const std::size_t ascii = AsciiPrefix(data + at, size - at);
        if (ascii >= kSlice || at + ascii == size) {
            sink(reinterpret_cast<const char*>(data + at), ascii);
            at += ascii;
            continue;
        }
        const std::size_t end = std::min(size, at + kSlice);
        if (buffer.empty()) {
            buffer.resize(3 * std::min(kSlice, size - at));
        }
        char* q = buffer.data();
        const auto& table = Windows1252Utf8();
        for (std::size_t i = at; i < end; ++i) {
            const Utf8Char& c = table[data[i]];
            std::memcpy(q, c.bytes.data(), c.bytes.size());
            q += c.length;
        }
        sink(buffer.data(), static_cast<std::size_t>(q - buffer.data()));
        at = end;
    }
}

}  // namespace tavorin

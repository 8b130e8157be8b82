#include "app/Envelope.h"

#include <algorithm>
#include <cstring>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "codecs/CSHA256.h"
#include "codecs/modHEX.h"

namespace tavorin::envelope {

namespace {

// What the digest reads for each ciphertext byte: the low 8 bits of its character.
const std::array<std::uint8_t, 256>& DigestBytes() {
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (unsigned b = 0; b < 256; ++b) {
            t[b] = static_cast<std::uint8_t>(AnsiCodePage::ByteToChar(static_cast<std::uint8_t>(b)) & 0xFF);
        }
        return t;
    }();
    return table;
}

void CheckPasses(std::int32_t passes) {
    if (passes < 1 || passes > MaxPasses) {
        throw Failure::Invalid("The number of passes must be from 1 to " + std::to_string(MaxPasses));
    }
}

} // namespace

std::optional<char32_t> FirstUnrepresentable(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint8_t b = 0;
        if (AnsiCodePage::CharToByte(text[i], b)) {
            continue;
        }
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        }
        return c;
    }
    return std::nullopt;
}

std::u16string PrepareKey(std::u16string_view key) {
    std::u16string normal = NormalizeNFC(key);
    if (const auto bad = FirstUnrepresentable(normal)) {
        throw Failure::Invalid("The key holds the character " + DescribeCodePoint(*bad) +
                               ", which the Windows-1252 code page cannot hold");
    }
    return normal;
}

std::array<char, DigestLength> CiphertextDigest(const std::uint8_t* data, std::size_t size) {
    // Through the characters' low bytes in slices, so the ciphertext is never copied whole.
    const auto& map = DigestBytes();
    CSHA256 sha;
    std::array<std::uint8_t, 1 << 14> slice;
    for (std::size_t at = 0; at < size; at += slice.size()) {
        const std::size_t n = std::min(slice.size(), size - at);
        for (std::size_t i = 0; i < n; ++i) {
            slice[i] = map[data[at + i]];
        }
        sha.Update(slice.data(), n);
    }
    const std::string hex = CSHA256::ToLowerHex(sha.Final());
    std::array<char, DigestLength> digest{};
    std::memcpy(digest.data(), hex.data(), std::min(hex.size(), digest.size()));
    return digest;
}

void EncryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes) {
    CheckPasses(passes);
    for (std::int32_t pass = 0; pass < passes; ++pass) {
        engine.EncryptByte(bytes, key);
    }
}

void WriteEnvelope(const ByteArray& ciphertext, const Sink& sink) {
    const auto digest = CiphertextDigest(ciphertext.data(), ciphertext.size());
    // The digest's pairs first, then the ciphertext's in slices; a space joins the pieces.
    std::string piece = modHEX::BytesToHex(reinterpret_cast<const std::uint8_t*>(digest.data()),
                                           digest.size(), " ");
    constexpr std::size_t kSlice = std::size_t{1} << 16;
    for (std::size_t at = 0; at < ciphertext.size(); at += kSlice) {
        piece.push_back(' ');
        sink(piece.data(), piece.size());
        const std::size_t n = std::min(kSlice, ciphertext.size() - at);
        piece = modHEX::BytesToHex(ciphertext.data() + at, n, " ");
    }
    sink(piece.data(), piece.size());
}

std::string EnvelopeText(const ByteArray& ciphertext) {
    std::string text;
    text.reserve(static_cast<std::size_t>(EnvelopeLength(ciphertext.size())));
    WriteEnvelope(ciphertext, [&](const char* data, std::size_t size) { text.append(data, size); });
    return text;
}

std::string MakeEnvelope(Engine& engine, ByteArray message, std::u16string_view key, std::int32_t passes) {
    EncryptPasses(engine, message, key, passes);
    std::string text = EnvelopeText(message);
    SecureWipe(message);
    return text;
}

ByteArray DecodePairs(std::string_view text) { return modHEX::HexToBytes(text, 1); }

ByteArray DecodePairs(std::u16string_view text) { return modHEX::HexToBytes(text, 1); }

bool DigestMatches(const ByteArray& decoded) {
    if (decoded.size() < DigestLength) {
        throw Failure::Invalid("The text is too short to hold the message digest");
    }
    const auto digest = CiphertextDigest(decoded.data() + DigestLength, decoded.size() - DigestLength);
    // A stored byte matches a digest character only as that ASCII character itself.
    return std::equal(digest.begin(), digest.end(), decoded.begin(),
                      [](char d, std::uint8_t b) { return static_cast<std::uint8_t>(d) == b; });
}

void StripDigest(ByteArray& decoded) {
    if (decoded.size() < DigestLength) {
        throw Failure::Invalid("The text is too short to hold the message digest");
    }
    decoded.erase(decoded.begin(), decoded.begin() + DigestLength);
}

Outcome DecryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes) {
    CheckPasses(passes);
    for (std::int32_t pass = 0; pass < passes; ++pass) {
        if (!engine.DecryptByte(bytes, key)) {
            return Outcome::WrongKey;
        }
    }
    return Outcome::Opened;
}

Outcome OpenDecoded(Engine& engine, ByteArray& decoded, std::u16string_view key, std::int32_t passes) {
    CheckPasses(passes);
    if (!DigestMatches(decoded)) {
        return Outcome::AuthenticationFailed;
    }
    StripDigest(decoded);
    return DecryptPasses(engine, decoded, key, passes);
}

Outcome OpenEnvelope(Engine& engine, std::string_view text, std::u16string_view key, std::int32_t passes,
                     ByteArray& message) {
    message = DecodePairs(text);
    return OpenDecoded(engine, message, key, passes);
}

std::size_t UnwrapText(char* text, std::size_t size) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto lineBreak = [](char c) { return c == '\r' || c == '\n'; };
    const auto space = [&](char c) { return blank(c) || lineBreak(c); };

    std::size_t begin = 0;
    std::size_t end = size;
    while (begin < end && space(text[begin])) {
        ++begin;
    }
    while (end > begin && space(text[end - 1])) {
        --end;
    }
    std::size_t out = 0;
    std::size_t digits = 0;  // characters since the last separator written
    for (std::size_t i = begin; i < end;) {
        if (!space(text[i])) {
            text[out++] = text[i++];
            ++digits;
            continue;
        }
        std::size_t j = i;
        bool hasBreak = false;
        bool hasBlank = false;
        while (j < end && space(text[j])) {
            hasBreak = hasBreak || lineBreak(text[j]);
            hasBlank = hasBlank || blank(text[j]);
            ++j;
        }
        if (!hasBreak) {
            while (i < j) {
                text[out++] = text[i++];
            }
        } else if (hasBlank || digits % 2 == 0) {
            text[out++] = ' ';
        }
        // else: a bare line break inside a pair, as a hard wrap leaves it; drop it.
        digits = hasBreak && !hasBlank && digits % 2 == 1 ? digits : 0;
        i = j;
    }
    return out;
}

} // namespace tavorin::envelope

#include "envelope/Envelope.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "base/AnsiCodePage.h"
#include "base/CpuFeatures.h"
#include "base/Failure.h"
#include "codecs/CSHA256.h"
#include "codecs/modHEX.h"
#include "envelope/DigestX86.h"
#include "envelope/SealOnTwoThreads.h"

namespace tavorin::envelope {

namespace digest {

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

void MapPortable(const std::uint8_t* data, std::size_t n, std::uint8_t* out) noexcept {
    const auto& map = DigestBytes();
    std::size_t i = 0;
    // Eight bytes a word: only those from 80 to 9F change, one in eight of a ciphertext's.
    for (; n - i >= 8; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, data + i, 8);
        std::memcpy(out + i, &w, 8);
        const std::uint64_t x = (w & 0xE0E0E0E0E0E0E0E0) ^ 0x8080808080808080;  // a zero byte for each
        for (std::uint64_t hit = ~(((x & 0x7F7F7F7F7F7F7F7F) + 0x7F7F7F7F7F7F7F7F) | x) & 0x8080808080808080; hit != 0;
             hit &= hit - 1) {
            const std::size_t k = i + static_cast<std::size_t>(std::countr_zero(hit)) / 8;
            out[k] = map[data[k]];
        }
    }
    for (; i < n; ++i) {
        out[i] = map[data[i]];
    }
}

}  // namespace digest

void MapToDigestBytes(const std::uint8_t* data, std::size_t n, std::uint8_t* out) noexcept {
#ifdef TAVORIN_DIGEST_VECTOR
    static const bool vector = cpu::Ssse3();
    if (vector) {
        digest::MapSsse3(data, n, out);
        return;
    }
#endif
    digest::MapPortable(data, n, out);
}

namespace {

// The envelope to sink: the digest's pairs, then the ciphertext's, made a slice at a time into
// a buffer that stays in cache (the first slice goes out with the digest's pairs). Every pair
// but the very last carries its space.
void Emit(const std::array<char, DigestLength>& digest, const std::uint8_t* data, std::size_t size, const Sink& sink) {
    constexpr std::size_t kSlice = std::size_t{1} << 17;
    constexpr std::size_t kFront = 3 * DigestLength;
    const std::size_t first = std::min(kSlice, size);
    // No larger than the envelope needs; every character is written before it is read.
    const std::unique_ptr<char[]> piece(new char[kFront + 3 * first]);
    modHEX::WriteSpacedPairs(reinterpret_cast<const std::uint8_t*>(digest.data()), digest.size(), piece.get());
    modHEX::WriteSpacedPairs(data, first, piece.get() + kFront);
    sink(piece.get(), kFront + 3 * first - (first == size ? 1 : 0));
    for (std::size_t at = first; at < size; at += kSlice) {
        const std::size_t n = std::min(kSlice, size - at);
        modHEX::WriteSpacedPairs(data + at, n, piece.get());
        sink(piece.get(), 3 * n - (at + n == size ? 1 : 0));
    }
}

}  // namespace

void CiphertextDigester::Update(const std::uint8_t* data, std::size_t size) noexcept {
    for (std::size_t at = 0; at < size; at += slice_.size()) {
        const std::size_t n = std::min(slice_.size(), size - at);
        MapToDigestBytes(data + at, n, slice_.data());
        sha_.Update(slice_.data(), n);
    }
}

std::array<char, DigestLength> CiphertextDigester::Final() {
    const std::string hex = CSHA256::ToLowerHex(sha_.Final());
    std::array<char, DigestLength> digest{};
    std::memcpy(digest.data(), hex.data(), std::min(hex.size(), digest.size()));
    return digest;
}

std::array<char, DigestLength> CiphertextDigest(const std::uint8_t* data, std::size_t size) {
    CiphertextDigester digester;
    digester.Update(data, size);
    return digester.Final();
}

void WriteEnvelope(const ByteArray& ciphertext, const Sink& sink) {
    WriteEnvelope(CiphertextDigest(ciphertext.data(), ciphertext.size()), ciphertext, sink);
}

void WriteEnvelope(const std::array<char, DigestLength>& digest, const ByteArray& ciphertext, const Sink& sink) {
    Emit(digest, ciphertext.data(), ciphertext.size(), sink);
}

namespace {

// All passes but the last, which the caller runs itself.
void EarlierPasses(Engine& engine, InPlace& message, std::u16string_view key, std::int32_t passes) {
    const CountedPasses checked(passes);  // a wrong count is refused before anything runs
    for (std::int32_t pass = 1; pass < passes; ++pass) {
        message.size = engine.EncryptInPlace(message.data, message.size, message.room, key);
    }
}

}  // namespace

InPlace RoomIn(ByteArray& bytes, std::int32_t passes, std::size_t blockSize) {
    const CountedPasses checked(passes);
    const std::size_t size = bytes.size();
    const std::size_t room = SealingRoom(size, passes, blockSize);
    if (bytes.capacity() < room) {
        ByteArray larger;
        larger.reserve(room);
        larger.assign(bytes.begin(), bytes.end());
        SecureWipe(bytes);
        bytes.swap(larger);
    }
    bytes.resize(room);
    return {bytes.data(), size, room};
}

void SealToSink(Engine& engine, InPlace& message, std::u16string_view key, std::int32_t passes, const Sink& sink) {
    EarlierPasses(engine, message, key, passes);
    if (!SealLastPassToSink(engine, message, key, sink)) {
        Emit(CiphertextDigest(message.data, message.size), message.data, message.size, sink);
    }
}

void SealToSink(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes, const Sink& sink) {
    InPlace message = RoomIn(bytes, passes, engine.BlockSize());
    SealToSink(engine, message, key, passes, sink);
    bytes.resize(message.size);
}

std::uint64_t SealToPlacedSink(Engine& engine, InPlace& message, std::u16string_view key, std::int32_t passes,
                               const PlacedSink& placed) {
    EarlierPasses(engine, message, key, passes);
    if (SealLastPassToPlacedSink(engine, message, key, placed)) {
        return EnvelopeLength(message.size);
    }
    std::uint64_t offset = 0;
    Emit(CiphertextDigest(message.data, message.size), message.data, message.size,
         [&](const char* data, std::size_t size) {
             placed(data, size, offset);
             offset += size;
         });
    return offset;
}

std::uint64_t SealToPlacedSink(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes,
                               const PlacedSink& placed) {
    InPlace message = RoomIn(bytes, passes, engine.BlockSize());
    const std::uint64_t length = SealToPlacedSink(engine, message, key, passes, placed);
    bytes.resize(message.size);
    return length;
}

std::string EnvelopeText(const ByteArray& ciphertext) {
    std::string text;
    text.reserve(static_cast<std::size_t>(EnvelopeLength(ciphertext.size())));
    WriteEnvelope(ciphertext, [&](const char* data, std::size_t size) { text.append(data, size); });
    return text;
}

std::string MakeEnvelope(Engine& engine, ByteArray message, std::u16string_view key, std::int32_t passes) {
    std::string text;
    SealToSink(engine, message, key, passes, [&](const char* data, std::size_t size) { text.append(data, size); });
    SecureWipe(message);
    return text;
}

ByteArray DecodePairs(std::string_view text) { return modHEX::HexToBytes(text, 1); }

ByteArray DecodePairs(std::u16string_view text) { return modHEX::HexToBytes(text, 1); }

bool DigestMatches(const ByteArray& decoded) {
    if (decoded.size() < DigestLength) {
        throw Failure(FailureKind::BadArgument, "The text is too short to hold the message digest");
    }
    const auto digest = CiphertextDigest(decoded.data() + DigestLength, decoded.size() - DigestLength);
    // A stored byte matches a digest character only as that ASCII character itself.
    return std::equal(digest.begin(), digest.end(), decoded.begin(),
                      [](char d, std::uint8_t b) { return static_cast<std::uint8_t>(d) == b; });
}

void StripDigest(ByteArray& decoded) {
    if (decoded.size() < DigestLength) {
        throw Failure(FailureKind::BadArgument, "The text is too short to hold the message digest");
    }
    decoded.erase(decoded.begin(), decoded.begin() + DigestLength);
}

OpenStatus OpenDecoded(Engine& engine, ByteArray& decoded, std::u16string_view key, std::int32_t passes) {
    // The way every envelope opens: the digest first (a damaged envelope is reported as
    // damaged, whatever the key), then the passes, each split over every core.
    CountedPasses counted(passes);
    if (!DigestMatches(decoded)) {
        return OpenStatus::Damaged;
    }
    StripDigest(decoded);
    return DecryptPasses(engine, decoded, key, counted);
}

}  // namespace tavorin::envelope

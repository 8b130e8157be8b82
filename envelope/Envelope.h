#pragma once
// The message envelope, made and opened on bytes in memory; the window commands and
// tavorin-cli both use these functions.
//
// An envelope is the SHA-256 digest of the ciphertext (64 lower-case hex characters) followed
// by the ciphertext, every byte of that written as two upper-case hexadecimal digits, the
// pairs separated by single spaces: 3 * (64 + n) - 1 characters for n ciphertext bytes. The
// digest is taken over the ciphertext as the window sees it, one Windows-1252 character per
// byte, reading the low 8 bits of each character code; so the bytes 0x80 to 0x9F enter it
// through their characters (0x80 is U+20AC and counts as 0xAC).

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/Types.h"
#include "codecs/CSHA256.h"
#include "engines/Engine.h"

namespace tavorin::envelope {

inline constexpr std::size_t DigestLength = 64;
inline constexpr std::int32_t MaxPasses = 32767;

constexpr std::uint64_t EnvelopeLength(std::uint64_t cipherBytes) noexcept {
    return 3 * (DigestLength + cipherBytes) - 1;
}

// --- The pass loop ---------------------------------------------------------------------------

// Decides how many passes run, and sees each one's result. The window reads its pass count again
// before every pass; a caller looking for the passes of an envelope judges the last result.
class PassHook {
public:
    virtual ~PassHook() = default;
    // Before each pass: whether to run another. `done` passes have run; bytes holds their result
    // (before the first pass, the input).
    virtual bool GoOn(std::int64_t done, const ByteArray& bytes) = 0;
    // After each pass, with its result.
    virtual void Passed(std::int64_t /*done*/, const ByteArray& /*bytes*/) {}
};

// A fixed number of passes.
class CountedPasses final : public PassHook {
public:
    // Throws Failure(InvalidArgument) for fewer than 1 or more than MaxPasses passes.
    explicit CountedPasses(std::int32_t passes);
    bool GoOn(std::int64_t done, const ByteArray&) override { return done < passes_; }

private:
    std::int32_t passes_;
};

// --- Making --------------------------------------------------------------------------------

// The bytes the digest reads for data[0, n): each one's character's low 8 bits, so that the
// standard SHA-256 of out is the digest (for a caller with a faster SHA-256 of its own).
void MapToDigestBytes(const std::uint8_t* data, std::size_t n, std::uint8_t* out) noexcept;

// The digest as 64 lower-case hexadecimal characters.
std::array<char, DigestLength> CiphertextDigest(const std::uint8_t* data, std::size_t size);

// The same, fed in pieces; the characters' low bytes go through a small slice, so the
// ciphertext is never copied whole.
class CiphertextDigester {
public:
    void Update(const std::uint8_t* data, std::size_t size) noexcept;
    std::array<char, DigestLength> Final();

private:
    CSHA256 sha_;
    std::array<std::uint8_t, 1 << 14> slice_;  // written before it is read, as far as it is
};

// Encryption passes in place, each over the previous pass's output, as long as the hook goes on.
void EncryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, PassHook& hook);
// `passes` of them. Throws Failure(InvalidArgument) for fewer than 1 or more than MaxPasses.
void EncryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes);

// Receives the envelope in pieces.
using Sink = std::function<void(const char* data, std::size_t size)>;

// The envelope of a ciphertext, in pieces of bounded size (no line break at the end).
void WriteEnvelope(const ByteArray& ciphertext, const Sink& sink);
// The same with the ciphertext's digest already taken.
void WriteEnvelope(const std::array<char, DigestLength>& digest, const ByteArray& ciphertext, const Sink& sink);
std::string EnvelopeText(const ByteArray& ciphertext);

// Encryption passes, then the envelope.
std::string MakeEnvelope(Engine& engine, ByteArray message, std::u16string_view key, std::int32_t passes);

// A message sealed in place in memory the caller holds: `size` bytes at data (the frame's
// length once sealed), in a buffer of `room` bytes that every pass's frame grows into.
struct InPlace {
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t room = 0;
};

// The bytes a message of `size` bytes takes while `passes` frames with blocks of `blockSize`
// bytes grow around it.
constexpr std::size_t SealingRoom(std::size_t size, std::int32_t passes, std::size_t blockSize) noexcept {
    return size + static_cast<std::size_t>(passes) * (12 + blockSize);
}

// The whole of bytes as a buffer to seal in place: grown by the room the frames take (the new
// bytes zero), after a move when its capacity falls short (the old copy wiped). Throws
// Failure(InvalidArgument) for fewer than 1 or more than MaxPasses passes.
InPlace RoomIn(ByteArray& bytes, std::int32_t passes, std::size_t blockSize);

// Encryption passes over the message in place, then the envelope to sink. While the last
// pass's chain runs, a second thread digests the finished ciphertext; its pairs are made
// once the digest, which comes first, is known, a slice at a time.
void SealToSink(Engine& engine, InPlace& message, std::u16string_view key, std::int32_t passes, const Sink& sink);
// The same over bytes, which hold the ciphertext afterwards.
void SealToSink(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes, const Sink& sink);

// Receives pieces of the envelope with the offset where each belongs (a file).
using PlacedSink = std::function<void(const char* data, std::size_t size, std::uint64_t offset)>;

// The same for an output that takes pieces out of order: the second thread writes the pairs
// of each finished stretch in place while the chain runs, and the digest's pairs go to the
// front last. Nothing of the size of the envelope is held in memory. Returns its length.
std::uint64_t SealToPlacedSink(Engine& engine, InPlace& message, std::u16string_view key, std::int32_t passes,
                               const PlacedSink& placed);
std::uint64_t SealToPlacedSink(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes,
                               const PlacedSink& placed);

// --- Opening -------------------------------------------------------------------------------

// The pairs back to bytes, separator length 1: the pair of output byte i stands at 3i and
// 3i + 1; the characters between pairs are never looked at, and one or two characters after
// the last pair are ignored. Failure 9 for a digit character outside '0' to 'F' (the seven
// characters between '9' and 'A' count as 0) and for a text that gives no byte.
ByteArray DecodePairs(std::string_view text);
ByteArray DecodePairs(std::u16string_view text);

// Whether the first 64 bytes are the digest of the rest (compared case-sensitively).
// Throws Failure(InvalidArgument) when there are fewer than 64 bytes.
bool DigestMatches(const ByteArray& decoded);

// Removes the 64 digest bytes from the front.
void StripDigest(ByteArray& decoded);

// How opening an envelope ended: the one result of every way of opening (OpenDecoded here,
// OpenEnvelope and OpenCiphertext in Detect.h).
enum class OpenStatus {
    Opened,
    NotAnEnvelope,     // no envelope in the text
    SeveralEnvelopes,  // more than one envelope in the text
    Damaged,           // the digest does not match, or the ciphertext is no frame of any cipher
    WrongKey,          // no cipher fits, or a pass's frame does not fit: wrong key, cipher or passes
    Ambiguous,         // more than one cipher fits: name the cipher
    MorePasses,        // the passes asked for are done and the result is itself a frame
};

// Decryption passes in place as long as the hook goes on: Opened, or WrongKey at the first pass
// whose frame does not fit (the engine's WrongKey event has fired once; bytes are as that pass
// found them).
OpenStatus DecryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, PassHook& hook);
OpenStatus DecryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes);

// Digest check and passes over decoded pairs (DecodePairs): Damaged when the digest does not
// match, else as DecryptPasses; the message replaces `decoded` when Opened.
OpenStatus OpenDecoded(Engine& engine, ByteArray& decoded, std::u16string_view key, std::int32_t passes);

}  // namespace tavorin::envelope

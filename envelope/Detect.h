#pragma once
// Opening an envelope without knowing how it was sealed: the envelope records neither the
// cipher nor the number of passes, so both are found from the frames themselves.
//
// The cipher: every engine whose block size divides the ciphertext decrypts the first 16
// bytes with the key, and the one whose stored length fits the ciphertext wins. The passes:
// the inner passes are bare frames, so after each pass the result is decrypted again while it
// is itself a frame that fits under the same cipher and key. A real message passes that test
// by chance about once in 2^29, and a second cipher fits by chance about once in 2^28.
//
// The command line and the web page both open envelopes through OpenEnvelope; the window
// runs its own pass loop over the parts in Envelope.h. All of them end with an OpenStatus.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Types.h"
#include "engines/Engine.h"
#include "envelope/Find.h"

namespace tavorin::envelope {

// Whether bytes could be a frame of the engine's cipher whose stored length fits: whole
// blocks, at least a header, no larger than the largest frame, and the stored length,
// decrypted with the key (set first when not empty), within the frame's last block. A stored
// length too far off to subtract does not fit either. Raises no event.
bool FrameFits(Engine& engine, const ByteArray& bytes, std::u16string_view key = {});
// The same for a frame of `size` bytes whose first 16 bytes are at head (a file).
bool FrameFits(Engine& engine, const std::uint8_t* head, std::uint64_t size, std::u16string_view key);

// Makes an engine by display name, or returns nullptr; the registry when unset.
using EngineMaker = std::function<std::unique_ptr<Engine>(std::u16string_view name)>;

struct CipherProbe {
    std::vector<std::u16string> fitting;  // the ciphers whose stored length fits, in list order
    bool anyWhole = false;                // whether any cipher's blocks divide the size
    std::unique_ptr<Engine> engine;       // the first that fits, keyed: no second key schedule
};

// Every engine whose block size divides size probes the frame at head with the key.
CipherProbe ProbeCiphers(const std::uint8_t* head, std::uint64_t size, std::u16string_view key,
                         const EngineMaker& createEngine = {});

inline constexpr std::int32_t AutoPasses = 0;

struct OpenOptions {
    std::u16string cipher;             // a display name; empty: every engine is probed
    std::int32_t passes = AutoPasses;  // or exactly this many (1 to MaxPasses)
    EngineMaker createEngine;
    // Progress of each pass (counted from 1), as the engine raises it.
    std::function<void(std::int32_t pass, std::int32_t percent)> progress;
};

struct Opened {
    OpenStatus status = OpenStatus::NotAnEnvelope;
    ByteArray message;                    // Opened: the message (the caller wipes it)
    std::u16string cipher;                // the cipher that opened it (or that was named)
    std::int32_t passes = 0;              // the passes done
    std::vector<std::u16string> fitting;  // Ambiguous: the ciphers whose stored length fits
};

// The engine that opens the ciphertext: the cipher named (not keyed yet), or the one whose
// stored length fits (keyed). When none can, nullptr, with result's status and fitting
// saying why. Failure as for OpenCiphertext.
std::unique_ptr<Engine> OpeningEngine(const ByteArray& ciphertext, std::u16string_view key, const OpenOptions& options,
                                      Opened& result);

// After `done` passes over bytes (none: the ciphertext), whether another one runs (nullopt)
// or how the opening ends: Opened; MorePasses when the passes asked for are done and the
// result is itself a frame that fits; WrongKey when a pass asked for finds no whole frame.
// passes: AutoPasses, or the number asked for.
std::optional<OpenStatus> NextPass(Engine& engine, const ByteArray& bytes, std::int64_t done, std::int32_t passes);

// The ciphertext (the envelope's bytes after its digest), decrypted in place into the
// message. The key as the text gate (PassTextGate) returns it. Failure for an explicit pass count out of range,
// an unknown cipher, and a ciphertext larger than the largest frame.
Opened OpenCiphertext(ByteArray ciphertext, std::u16string_view key, const OpenOptions& options);

// The envelope found in a text (see Find.h), then opened.
Opened OpenEnvelope(std::string_view text, std::u16string_view key, const OpenOptions& options);

}  // namespace tavorin::envelope

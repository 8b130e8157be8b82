#include "envelope/Detect.h"

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/FrameFormat.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"

namespace tavorin::envelope {

namespace {

bool WholeFrame(const Engine& engine, std::uint64_t size) noexcept {
    return size % engine.BlockSize() == 0 && size >= frame::HeaderSize && size <= frame::MaxFrame;
}

std::unique_ptr<Engine> Create(const EngineMaker& createEngine, std::u16string_view name) {
    return createEngine ? createEngine(name) : CreateEngine(name);
}

// Decrypts in place: a pass, then another while the passes asked for are not done (or, with
// AutoPasses, while the result is itself a frame that fits).
OpenStatus RunPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, const OpenOptions& options,
                     std::int32_t& done) {
    for (;;) {
        if (options.progress) {
            engine.Progress = [&options, pass = done + 1](std::int32_t percent) { options.progress(pass, percent); };
        }
        if (!WholeFrame(engine, bytes.size()) || DecryptPasses(engine, bytes, key, 1) != Outcome::Opened) {
            return OpenStatus::WrongKey;
        }
        ++done;
        const bool frameAgain = done < MaxPasses && FrameFits(engine, bytes);
        if (options.passes == AutoPasses ? !frameAgain : done == options.passes) {
            return frameAgain ? OpenStatus::MorePasses : OpenStatus::Opened;
        }
    }
}

}  // namespace

bool FrameFits(Engine& engine, const std::uint8_t* head, std::uint64_t size, std::u16string_view key) {
    if (!WholeFrame(engine, size)) {
        return false;
    }
    // A negative stored length never fits, and T - L overflows only for one.
    const std::int32_t L = engine.PeekLength(head, key);
    return L >= 0 && frame::StoredLengthFits(size, L, engine.BlockSize());
}

bool FrameFits(Engine& engine, const ByteArray& bytes, std::u16string_view key) {
    return FrameFits(engine, bytes.data(), bytes.size(), key);
}

CipherProbe ProbeCiphers(const std::uint8_t* head, std::uint64_t size, std::u16string_view key,
                         const EngineMaker& createEngine) {
    CipherProbe probe;
    for (const auto name : EngineNames) {
        auto engine = Create(createEngine, name);
        if (engine && WholeFrame(*engine, size)) {
            probe.anyWhole = true;
            if (FrameFits(*engine, head, size, key)) {
                probe.fitting.emplace_back(name);
            }
        }
    }
    return probe;
}

Opened OpenCiphertext(ByteArray ciphertext, std::u16string_view key, const OpenOptions& options) {
    if (options.passes != AutoPasses && (options.passes < 1 || options.passes > MaxPasses)) {
        throw Failure::Invalid("The number of passes must be from 1 to " + std::to_string(MaxPasses));
    }
    if (ciphertext.size() > frame::MaxFrame) {
        throw Failure::OverflowError();
    }
    Opened result;
    std::unique_ptr<Engine> engine;
    if (!options.cipher.empty()) {
        engine = Create(options.createEngine, options.cipher);
        if (!engine) {
            throw Failure::Invalid("There is no cipher named " + ToUtf8(options.cipher));
        }
        if (!WholeFrame(*engine, ciphertext.size())) {
            result.status = OpenStatus::Damaged;
            return result;
        }
    } else {
        CipherProbe probe = ProbeCiphers(ciphertext.data(), ciphertext.size(), key, options.createEngine);
        if (probe.fitting.size() != 1) {
            result.status = !probe.anyWhole         ? OpenStatus::Damaged
                            : probe.fitting.empty() ? OpenStatus::WrongKey
                                                    : OpenStatus::Ambiguous;
            result.fitting = std::move(probe.fitting);
            return result;
        }
        engine = Create(options.createEngine, probe.fitting.front());
    }
    result.cipher = std::u16string(engine->Name());
    result.status = RunPasses(*engine, ciphertext, key, options, result.passes);
    if (result.status == OpenStatus::Opened) {
        result.message = std::move(ciphertext);
    } else {
        SecureWipe(ciphertext);
    }
    return result;
}

Opened OpenEnvelope(std::string_view text, std::u16string_view key, const OpenOptions& options) {
    FoundEnvelope found = FindEnvelope(text);
    if (found.status == FindStatus::Found) {
        return OpenCiphertext(std::move(found.ciphertext), key, options);
    }
    Opened result;
    result.status = found.status == FindStatus::SeveralEnvelopes ? OpenStatus::SeveralEnvelopes
                    : found.status == FindStatus::Damaged        ? OpenStatus::Damaged
                                                                 : OpenStatus::NotAnEnvelope;
    return result;
}

}  // namespace tavorin::envelope

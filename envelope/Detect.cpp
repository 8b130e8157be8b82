#include "envelope/Detect.h"

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/FrameFormat.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"

namespace tavorin::envelope {

namespace {

bool WholeFrame(const Engine& engine, std::size_t size) noexcept {
    return size % engine.BlockSize() == 0 && size >= frame::HeaderSize && size <= frame::MaxFrame;
}

std::unique_ptr<Engine> Create(const OpenOptions& options, std::u16string_view name) {
    return options.createEngine ? options.createEngine(name) : CreateEngine(name);
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

bool FrameFits(Engine& engine, const ByteArray& bytes, std::u16string_view key) {
    if (!WholeFrame(engine, bytes.size())) {
        return false;
    }
    // A negative stored length never fits, and T - L overflows only for one.
    const std::int32_t L = engine.PeekLength(bytes.data(), key);
    return L >= 0 && frame::StoredLengthFits(bytes.size(), L, engine.BlockSize());
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
        engine = Create(options, options.cipher);
        if (!engine) {
            throw Failure::Invalid("There is no cipher named " + ToUtf8(options.cipher));
        }
        if (!WholeFrame(*engine, ciphertext.size())) {
            result.status = OpenStatus::Damaged;
            return result;
        }
    } else {
        bool anyWhole = false;
        for (const auto name : EngineNames) {
            auto candidate = Create(options, name);
            if (!candidate || !WholeFrame(*candidate, ciphertext.size())) {
                continue;
            }
            anyWhole = true;
            if (FrameFits(*candidate, ciphertext, key)) {
                result.fitting.emplace_back(name);
                engine = std::move(candidate);
            }
        }
        if (result.fitting.size() != 1) {
            result.status = !anyWhole                ? OpenStatus::Damaged
                            : result.fitting.empty() ? OpenStatus::WrongKey
                                                     : OpenStatus::Ambiguous;
            return result;
        }
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

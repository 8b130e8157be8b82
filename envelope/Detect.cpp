#include "envelope/Detect.h"

#include <optional>

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

// The passes of an envelope through the pass loop of envelope/, each decided by NextPass.
class FoundPasses final : public PassHook {
public:
    FoundPasses(Engine& engine, const OpenOptions& options) : engine_(engine), options_(options) {}

    bool GoOn(std::int64_t done, const ByteArray& bytes) override {
        ended = NextPass(engine_, bytes, done, options_.passes);
        if (ended) {
            return false;
        }
        if (options_.progress) {
            engine_.Progress = [this, pass = static_cast<std::int32_t>(done + 1)](std::int32_t percent) {
                options_.progress(pass, percent);
            };
        }
        return true;
    }
    void Passed(std::int64_t done, const ByteArray&) override { passes = static_cast<std::int32_t>(done); }

    std::optional<OpenStatus> ended;
    std::int32_t passes = 0;

private:
    Engine& engine_;
    const OpenOptions& options_;
};

// Decrypts in place with the pass loop of envelope/ and FoundPasses.
OpenStatus RunPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, const OpenOptions& options,
                     std::int32_t& done) {
    FoundPasses hook(engine, options);
    const OpenStatus outcome = DecryptPasses(engine, bytes, key, hook);
    done = hook.passes;
    return outcome == OpenStatus::Opened && hook.ended ? *hook.ended : OpenStatus::WrongKey;
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
                if (!probe.engine) {
                    probe.engine = std::move(engine);
                }
            }
        }
    }
    return probe;
}

std::optional<OpenStatus> NextPass(Engine& engine, const ByteArray& bytes, std::int64_t done, std::int32_t passes) {
    if (done == 0) {
        return std::nullopt;
    }
    const bool frameAgain = done < MaxPasses && FrameFits(engine, bytes);
    if (passes == AutoPasses ? !frameAgain : done == passes) {
        return frameAgain ? OpenStatus::MorePasses : OpenStatus::Opened;
    }
    if (!WholeFrame(engine, bytes.size())) {
        return OpenStatus::WrongKey;  // a pass asked for cannot run
    }
    return std::nullopt;
}

std::unique_ptr<Engine> OpeningEngine(const ByteArray& ciphertext, std::u16string_view key, const OpenOptions& options,
                                      Opened& result) {
    if (options.passes != AutoPasses && (options.passes < 1 || options.passes > MaxPasses)) {
        throw Failure(FailureKind::BadArgument, "The number of passes must be from 1 to " + std::to_string(MaxPasses));
    }
    if (ciphertext.size() > frame::MaxFrame) {
        throw Failure(FailureKind::TooLarge);
    }
    std::unique_ptr<Engine> engine;
    if (!options.cipher.empty()) {
        engine = Create(options.createEngine, options.cipher);
        if (!engine) {
            throw Failure(FailureKind::BadArgument, "There is no cipher named " + ToUtf8(options.cipher));
        }
        if (!WholeFrame(*engine, ciphertext.size())) {
            result.status = OpenStatus::Damaged;
            return nullptr;
        }
    } else {
        CipherProbe probe = ProbeCiphers(ciphertext.data(), ciphertext.size(), key, options.createEngine);
        if (probe.fitting.size() != 1) {
            result.status = !probe.anyWhole         ? OpenStatus::Damaged
                            : probe.fitting.empty() ? OpenStatus::WrongKey
                                                    : OpenStatus::Ambiguous;
            result.fitting = std::move(probe.fitting);
            return nullptr;
        }
        engine = std::move(probe.engine);
    }
    result.cipher = std::u16string(engine->Name());
    return engine;
}

Opened OpenCiphertext(ByteArray ciphertext, std::u16string_view key, const OpenOptions& options) {
    Opened result;
    const std::unique_ptr<Engine> engine = OpeningEngine(ciphertext, key, options, result);
    if (!engine) {
        return result;
    }
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

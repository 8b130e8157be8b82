// The pass loop: encryption and decryption passes, each over the previous one's result, as
// long as the hook goes on.

#include <string>

#include "base/Failure.h"
#include "envelope/Envelope.h"

namespace tavorin::envelope {

namespace {

// The one pass loop. pass(bytes) runs one pass and returns false when it could not.
template <class Pass>
bool RunPasses(ByteArray& bytes, PassHook& hook, Pass&& pass) {
    for (std::int64_t done = 0; hook.GoOn(done, bytes);) {
        if (!pass(bytes)) {
            return false;
        }
        hook.Passed(++done, bytes);
    }
    return true;
}

}  // namespace

CountedPasses::CountedPasses(std::int32_t passes) : passes_(passes) {
    if (passes < 1 || passes > MaxPasses) {
        throw Failure(FailureKind::BadArgument, "The number of passes must be from 1 to " + std::to_string(MaxPasses));
    }
}

void EncryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, PassHook& hook) {
    RunPasses(bytes, hook, [&](ByteArray& b) {
        engine.EncryptByte(b, key);
        return true;
    });
}

void EncryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes) {
    CountedPasses counted(passes);
    EncryptPasses(engine, bytes, key, counted);
}

OpenStatus DecryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, PassHook& hook) {
    const bool opened = RunPasses(bytes, hook, [&](ByteArray& b) { return engine.DecryptByte(b, key); });
    return opened ? OpenStatus::Opened : OpenStatus::WrongKey;
}

OpenStatus DecryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes) {
    CountedPasses counted(passes);
    return DecryptPasses(engine, bytes, key, counted);
}

}  // namespace tavorin::envelope

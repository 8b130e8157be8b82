#include "engines/FramedFile.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/ChunkPipeline.h"
#include "base/Failure.h"
#include "base/Files.h"
#include "engines/DecryptOnEveryCore.h"
#include "engines/FrameFormat.h"
#include "engines/FramedEngine.h"
#include "engines/Module1.h"

namespace tavorin::frame {

namespace {

// Three slots of the largest chunk, wiped when they go out of scope, errors included.
class Slots {
public:
    explicit Slots(std::uint64_t total)
        : bytes_(ChunkPipeline::kSlots * static_cast<std::size_t>(std::min<std::uint64_t>(total, FileChunk))),
          locked_(bytes_.data(), bytes_.size(), Holds::Message) {}
    ~Slots() { SecureWipe(bytes_); }
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;

    std::uint8_t* First() noexcept { return bytes_.data(); }
    ChunkPipeline Pipeline() noexcept { return ChunkPipeline(bytes_.data(), bytes_.size() / ChunkPipeline::kSlots); }

private:
    ByteArray bytes_;
    LockedMemory locked_;  // the plaintext's way through
};

}  // namespace

void CheckSource(const std::filesystem::path& source) {
    if (!Module1::FileExist(source)) {
        throw Failure(FailureKind::SourceMissing);
    }
}

void EncryptFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                 const OutputPolicy& policy, const FrameFileHooks& hooks, std::size_t B, const ProgressSink& sink,
                 const ChainRun& encrypt) {
    // Closed before the output is named: Windows cannot replace a file that is open (unless it
    // has the POSIX rename of Windows 10), and the output may replace its own source.
    std::optional<InputFile> input(std::in_place, source);
    InputFile& in = *input;
    const std::uint64_t L = in.Size();
    const std::uint64_t N = FrameLength(L, B);
    if (N == 0) {
        throw Failure(FailureKind::TooLarge);
    }
    AtomicOutputFile out(destination, policy);
    if (hooks.front > 0) {
        const ByteArray zeros(static_cast<std::size_t>(hooks.front));
        out.Write(zeros.data(), zeros.size());
    }
    Slots slots(N);
    ProgressRule progress(N, sink);

    std::uint64_t read = 0;  // data bytes read so far
    slots.Pipeline().Run(
        Chunks(N),
        [&](std::size_t k, std::uint8_t* slot) {
            const std::size_t chunk = ChunkSize(N, k);
            std::size_t at = 0;
            if (k == 0) {
                WriteHeader(slot, static_cast<std::uint32_t>(L));
                at = HeaderSize;
            }
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(L - read, chunk - at));
            in.ReadExact(slot + at, take);
            read += take;
            std::memset(slot + at + take, 0, chunk - at - take);
        },
        [&](std::size_t k, std::uint8_t* slot) { encrypt(slot, k * FileChunk, ChunkSize(N, k), progress); },
        [&](std::size_t k, std::uint8_t* slot) {
            out.Write(slot, ChunkSize(N, k));
            if (hooks.ciphertext) {
                hooks.ciphertext(slot, ChunkSize(N, k));
            }
        });
    if (hooks.finish) {
        hooks.finish(out);
    }
    input.reset();
    out.Commit();
    progress.Finish();
}

bool DecryptFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                 const OutputPolicy& policy, const FrameFileHooks& hooks, std::size_t B, const ProgressSink& sink,
                 const std::function<std::int32_t(const std::uint8_t*)>& peek, const ChainRun& decrypt,
                 const BlockRun& chunkOnOneCore) {
    // Closed before the output is named: Windows cannot replace a file that is open (unless it
    // has the POSIX rename of Windows 10), and the output may replace its own source.
    std::optional<InputFile> input(std::in_place, source);
    InputFile& in = *input;
    const std::uint64_t front = hooks.front;
    if (in.Size() < front) {
        throw Failure(FailureKind::PartialBlock);  // no frame behind the front
    }
    const std::uint64_t T = in.Size() - front;
    CheckCipherLength(T, B);
    Slots slots(T);
    in.ReadAt(slots.First(), ChunkSize(T, 0), front);
    const std::int32_t L = peek(slots.First());
    if (!StoredLengthFits(T, L, B)) {
        return false;  // the destination is left as it was
    }

    AtomicOutputFile out(destination, policy);
    ProgressRule progress(T, sink);
    const std::uint64_t dataEnd = HeaderSize + static_cast<std::uint64_t>(L);
    if (policy.stream < 0 && ChunksOnEveryCoreWorth(T)) {
        DecryptChunksOnEveryCore(in, out, T, dataEnd, B, progress, chunkOnOneCore, hooks);
        if (hooks.finish) {
            hooks.finish(out);
        }
        input.reset();
        out.Commit();
        progress.Finish();
        return true;
    }
    slots.Pipeline().Run(
        Chunks(T),
        [&](std::size_t k, std::uint8_t* slot) {
            if (k != 0) {  // the first was read above
                in.ReadAt(slot, ChunkSize(T, k), front + std::uint64_t{k} * FileChunk);
            }
            if (hooks.ciphertext) {  // here, on the reading thread, while the chunk before is deciphered
                hooks.ciphertext(slot, ChunkSize(T, k));
            }
        },
        [&](std::size_t k, std::uint8_t* slot) { decrypt(slot, k * FileChunk, ChunkSize(T, k), progress); },
        [&](std::size_t k, std::uint8_t* slot) {
            // Keep only the data bytes of this chunk: no header, no padding.
            const std::uint64_t done = k * FileChunk;
            const std::uint64_t from = std::max<std::uint64_t>(done, HeaderSize);
            const std::uint64_t to = std::min<std::uint64_t>(done + ChunkSize(T, k), dataEnd);
            if (from < to) {
                out.Write(slot + (from - done), static_cast<std::size_t>(to - from));
            }
        });
    if (hooks.finish) {
        hooks.finish(out);
    }
    input.reset();
    out.Commit();
    progress.Finish();
    return true;
}

}  // namespace tavorin::frame

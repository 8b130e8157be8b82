#include "engines/FramedFile.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "base/ChunkPipeline.h"
#include "base/Failure.h"
#include "base/Files.h"
#include "base/Team.h"
#include "engines/FrameFormat.h"
#include "engines/FramedEngine.h"
#include "engines/Module1.h"

namespace tavorin::frame {

namespace {

std::size_t Chunks(std::uint64_t total) noexcept {
    return static_cast<std::size_t>((total + FileChunk - 1) / FileChunk);
}

// The length of chunk k of total bytes.
std::size_t ChunkSize(std::uint64_t total, std::size_t k) noexcept {
    return static_cast<std::size_t>(std::min<std::uint64_t>(total - std::uint64_t{k} * FileChunk, FileChunk));
}

// Three slots of the largest chunk, wiped when they go out of scope, errors included.
class Slots {
public:
    explicit Slots(std::uint64_t total)
        : bytes_(ChunkPipeline::kSlots * static_cast<std::size_t>(std::min<std::uint64_t>(total, FileChunk))) {}
    ~Slots() { SecureWipe(bytes_); }
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;

    std::uint8_t* First() noexcept { return bytes_.data(); }
    ChunkPipeline Pipeline() noexcept { return ChunkPipeline(bytes_.data(), bytes_.size() / ChunkPipeline::kSlots); }

private:
    ByteArray bytes_;
};

// Files of this many chunks or more are deciphered a chunk on each core at once.
constexpr std::size_t kChunksOnEveryCore = 4;

// Each chunk whole on one core: read with the ciphertext block before it, deciphered from
// that block, its data bytes written where they belong. Progress is raised on this thread.
void DecryptChunksOnEveryCore(InputFile& in, AtomicOutputFile& out, std::uint64_t T, std::uint64_t dataEnd,
                              std::size_t B, ProgressRule& progress, const BlockRun& decrypt,
                              const FrameFileHooks& hooks) {
    Team team;
    // The ciphertext hook sees the chunks in order, and no core waits for it: a chunk whose
    // turn has not come is copied aside, and whoever ends the turn before it hands it on.
    std::mutex turnLock;
    std::size_t turn = 0;
    std::map<std::size_t, ByteArray> aside;
    std::vector<ByteArray> spare;  // copies handed on, kept for the next (no new pages each time)
    const auto inTurn = [&](std::size_t k, const std::uint8_t* data, std::size_t n) {
        std::unique_lock hold(turnLock);
        if (turn != k) {
            ByteArray copy;  // ciphertext: no secret
            if (!spare.empty()) {
                copy = std::move(spare.back());
                spare.pop_back();
            }
            copy.assign(data, data + n);
            aside.emplace(k, std::move(copy));
            return;
        }
        for (;;) {
            hold.unlock();
            hooks.ciphertext(data, n);
            hold.lock();
            if (const auto done = aside.find(turn); done != aside.end()) {  // a copy just handed on
                spare.push_back(std::move(done->second));
                aside.erase(done);
            }
            const auto next = aside.find(++turn);
            if (next == aside.end()) {
                return;
            }
            data = next->second.data();
            n = next->second.size();
        }
    };
    // A buffer for each chunk under way, wiped at the end, errors included.
    std::mutex lock;
    std::vector<ByteArray> free;
    struct Wipe {
        std::vector<ByteArray>& buffers;
        ~Wipe() {
            for (auto& b : buffers)
                SecureWipe(b);
        }
    } wipe{free};
    for (std::size_t i = 0; i < team.Size(); ++i)
        free.emplace_back(FileChunk + B);
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    team.Run(
        Chunks(T),
        [&](std::size_t k) {
            if (failed.load(std::memory_order_relaxed))
                return;
            ByteArray buffer;
            {
                std::lock_guard guard(lock);
                buffer = std::move(free.back());
                free.pop_back();
            }
            try {
                const std::uint64_t from = std::uint64_t{k} * FileChunk;
                const std::size_t n = ChunkSize(T, k);
                std::uint8_t* prev = buffer.data();
                std::uint8_t* data = prev + B;
                if (k == 0) {
                    std::memset(prev, 0, B);
                    in.ReadAt(data, n, hooks.front);
                } else {
                    in.ReadAt(prev, B + n, hooks.front + from - B);
                }
                if (hooks.ciphertext) {
                    inTurn(k, data, n);
                }
                decrypt(data, n, prev);
                const std::uint64_t lo = std::max<std::uint64_t>(from, HeaderSize);
                const std::uint64_t hi = std::min<std::uint64_t>(from + n, dataEnd);
                if (lo < hi)
                    out.WritePart(data + (lo - from), static_cast<std::size_t>(hi - lo), lo - HeaderSize);
                done.fetch_add(n, std::memory_order_relaxed);
            } catch (...) {
                std::lock_guard guard(lock);
                if (!failure)
                    failure = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
            std::lock_guard guard(lock);
            free.push_back(std::move(buffer));
        },
        [&] { progress.Reach(done.load(std::memory_order_relaxed), B); });
    if (failure)
        std::rethrow_exception(failure);
}

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
    if (policy.stream < 0 && Chunks(T) >= kChunksOnEveryCore && CoreCount() > 1) {
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

#include "engines/DecryptOnEveryCore.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "base/Team.h"
#include "engines/FrameFormat.h"
#include "engines/FramedEngine.h"

namespace tavorin::frame {

bool EveryCore::Worth(std::uint64_t n) noexcept { return ThreadsAvailable && n >= kSplitFrom && CoreCount() > 1; }

EveryCore::EveryCore(std::size_t pieces) : team_(std::make_unique<Team>(std::min(CoreCount(), pieces))) {}

EveryCore::~EveryCore() = default;

void EveryCore::Decrypt(std::uint8_t* data, std::uint64_t base, std::size_t n, std::uint8_t* prev, std::size_t B,
                        std::size_t inCache, bool shift, ProgressRule& progress, const BlockRun& chain) {
    // The last piece takes the rest, so that no piece is shorter than the header.
    const std::size_t pieces = std::max<std::size_t>(n / kPiece, 1);
    ByteArray chains(pieces * B);
    std::memcpy(chains.data(), prev, B);
    for (std::size_t k = 1; k < pieces; ++k) {
        std::memcpy(chains.data() + k * B, data + k * kPiece - B, B);
    }
    std::memcpy(prev, data + n - B, B);
    // The first 12 bytes of a piece belong at the end of the piece before, which another
    // thread may still be decrypting: they wait here, and are wiped.
    ByteArray heads(shift ? pieces * HeaderSize : 0);
    struct Wipe {
        ByteArray& bytes;
        ~Wipe() { SecureWipe(bytes); }
    } wipeHeads{heads};
    std::atomic<std::uint64_t> done{0};
    team_->Run(
        pieces,
        [&](std::size_t k) {
            const std::size_t from = k * kPiece;
            const std::size_t size = k + 1 == pieces ? n - from : kPiece;
            std::uint8_t* link = chains.data() + k * B;
            for (std::size_t at = from; at < from + size; at += inCache) {
                const std::size_t m = std::min(inCache, from + size - at);
                chain(data + at, m, link);
                if (!shift) {
                    continue;
                }
                std::size_t moveFrom = at;
                if (at == from) {
                    std::memcpy(heads.data() + k * HeaderSize, data + at, HeaderSize);
                    moveFrom += HeaderSize;
                }
                std::memmove(data + moveFrom - HeaderSize, data + moveFrom, at + m - moveFrom);
            }
            done.fetch_add(size, std::memory_order_relaxed);
        },
        [&] { progress.Reach(base + done.load(std::memory_order_relaxed), B); });
    for (std::size_t k = 1; shift && k < pieces; ++k) {
        std::memcpy(data + k * kPiece - HeaderSize, heads.data() + k * HeaderSize, HeaderSize);
    }
}

#ifndef TAVORIN_NO_FILES

namespace {

// Files of this many chunks or more are deciphered a chunk on each core at once.
constexpr std::size_t kChunksOnEveryCore = 4;

}  // namespace

bool ChunksOnEveryCoreWorth(std::uint64_t T) noexcept { return Chunks(T) >= kChunksOnEveryCore && CoreCount() > 1; }

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
    // A buffer for each chunk under way, kept out of swap and wiped at the end, errors included.
    std::mutex lock;
    std::vector<ByteArray> free;
    std::vector<LockedMemory> locked;
    struct Wipe {
        std::vector<ByteArray>& buffers;
        ~Wipe() {
            for (auto& b : buffers)
                SecureWipe(b);
        }
    } wipe{free};
    for (std::size_t i = 0; i < team.Size(); ++i) {
        free.emplace_back(FileChunk + B);
        locked.emplace_back(free.back().data(), free.back().size(), Holds::Message);
    }
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

#endif

}  // namespace tavorin::frame

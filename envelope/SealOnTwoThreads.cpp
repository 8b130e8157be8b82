#include "envelope/SealOnTwoThreads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "base/Cores.h"
#include "base/Team.h"
#include "base/Watermark.h"
#include "codecs/modHEX.h"

#if defined(__x86_64__) && !defined(__EMSCRIPTEN__)
#include <immintrin.h>
#endif

namespace tavorin::envelope {

namespace {

// Large envelopes have their digest made on a thread of its own while the last pass runs;
// below this size a thread costs more than it saves.
constexpr std::size_t kDigestAlongside = std::size_t{1} << 20;
// The worker takes the finished ciphertext in batches of this size: few wake-ups, and a short
// tail once the chain ends.
constexpr std::size_t kBatch = std::size_t{256} << 10;
// How long the worker sleeps between looks at the chain's progress: a third of a batch or so.
constexpr std::chrono::microseconds kNap{500};

// What the second thread does during the last pass: `start` runs on the caller's thread
// before the second thread starts; each finished stretch of the frame is handed, in order, to
// `take` while the chain runs on. Once the chain has ended well and every stretch was taken,
// `workerTail` runs there while `callerTail` runs on the caller's thread. `stop` ends either
// tail early when the other one fails.
struct LastPassWork {
    std::function<void()> start;
    std::function<void(const std::uint8_t* data, std::size_t from, std::size_t to, std::size_t total)> take;
    std::function<void()> workerTail;
    std::function<void()> callerTail;
    std::function<void()> stop;
};

// Returns whether the second thread took the whole frame (and the tails ran): not for a short
// message, nor where no second thread can run, nor for an engine that raised no events. The
// caller then does the rest on this thread.
bool RunLastPass(Engine& engine, InPlace& message, std::u16string_view key, const LastPassWork& work) {
    // A short message is done before a thread would have started (on a busy machine, long
    // before).
    auto previous = std::move(engine.Sealed);
    const auto pass = [&] { message.size = engine.EncryptInPlace(message.data, message.size, message.room, key); };
    if (!ThreadsAvailable || message.size < kDigestAlongside || CoreCount() < 2) {
        engine.Sealed = nullptr;
        try {
            pass();
        } catch (...) {
            engine.Sealed = std::move(previous);
            throw;
        }
        engine.Sealed = std::move(previous);
        return false;
    }
    // What the chain has finished, handed from this thread to the worker in batches: few
    // wake-ups for the chain's thread, and smaller ones near the end for a short tail.
    Watermark ready;
    const std::uint8_t* data = nullptr;  // set before the first raise, then fixed
    std::size_t total = 0;
    std::atomic<bool> chainEnded{false};  // well, and before the mark is closed
    std::exception_ptr workerFailure;

    if (work.start) {
        work.start();
    }
    // Where the chain runs: woken next to it, the worker would take turns with it on one core.
    std::atomic<int> chainCore{OffCore::CurrentCore()};
    std::thread worker([&] {
        try {
            OffCore off;
            std::size_t done = 0;
            for (;;) {
                off.Avoid(chainCore.load(std::memory_order_relaxed));
                // total is known once something was taken.
                const bool nearEnd = done != 0 && total - done <= 4 * kBatch;
                const std::size_t want = done + (nearEnd ? kBatch / 4 : kBatch);
                // Until near the end the worker naps instead of being woken: a wake-up costs the
                // chain's thread a system call and the machine an interrupt between cores. Where
                // naps this short do not exist it is woken.
                while (!nearEnd && ready.Value() < want && !ready.Closed() && Nap(kNap)) {
                }
                const std::size_t reached = ready.WaitFor(want);
                if (reached == done) {
                    break;  // closed
                }
                work.take(data, done, reached, total);
                done = reached;
            }
            off.Release();
            if (chainEnded.load() && data != nullptr && done == total && work.workerTail) {
                work.workerTail();
            }
        } catch (...) {
            workerFailure = std::current_exception();
            if (work.stop) {
                work.stop();
            }
        }
    });
    const auto finish = [&] {
        ready.Close();
        worker.join();
    };
    const auto fail = [&] {
        engine.Sealed = std::move(previous);
        if (work.stop) {
            work.stop();
        }
        finish();
    };

    engine.Sealed = [&](const std::uint8_t* sealed, std::size_t finished, std::size_t frame) {
        if (data == nullptr) {
            data = sealed;
            total = frame;
        }
        chainCore.store(OffCore::CurrentCore(), std::memory_order_relaxed);
        ready.Raise(finished);
    };
    try {
        pass();
    } catch (...) {
        fail();
        throw;
    }
    engine.Sealed = std::move(previous);
    const bool covered = ready.Value() == message.size;
    if (!covered) {
        finish();
        return false;
    }
    chainEnded.store(true);
    ready.Close();
    try {
        if (work.callerTail) {
            work.callerTail();
        }
    } catch (...) {
        fail();
        throw;
    }
    worker.join();
    if (workerFailure) {
        std::rethrow_exception(workerFailure);
    }
    return true;
}

// Whether ready() has come true after a short spin: what the other thread is about to finish
// takes microseconds, less than going to sleep and being woken.
template <class Ready>
bool Spin(Ready&& ready) noexcept {
    for (unsigned spins = 0; spins < 4096; ++spins) {
        if (ready()) {
            return true;
        }
#if defined(__x86_64__) && !defined(__EMSCRIPTEN__)
        _mm_pause();
#endif
    }
    return ready();
}

// The envelope after the chain, on two threads: each makes the pairs of every other slice of
// the ciphertext into slots of its own (the lines stay in its core's cache), and the caller's
// thread hands the slices to the sink in order, the first behind the digest's pairs once the
// worker has finished the digest.
class PairsRing {
public:
    PairsRing() : ring_(new char[kRingBytes]) {}

    // The ring's pages given their memory by the worker while it has time to spare.
    void Prefault() noexcept { PrefaultPages(ring_.get(), kRingBytes); }

    // On the worker, before the first write can go out.
    void SetDigest(const std::array<char, DigestLength>& digest) noexcept {
        digest_ = digest;
        digestKnown_.store(true);
    }

    // On the worker: makes the odd slices of data[0, size). It waits for a free slot asleep,
    // since the sink may take its time (a pipe to a slow reader).
    void Help(const std::uint8_t* data, std::size_t size) noexcept {
        for (std::size_t k = 1; k < Count(size); k += 2) {
            if (k >= kSlots && !Spin([&] { return written_.Value() > k - kSlots || stopped_.load(); })) {
                written_.WaitFor(k - kSlots + 1);
            }
            if (stopped_.load()) {
                return;
            }
            Make(data, size, k);
        }
    }

    // On the caller's thread: makes the even slices and hands every slice to sink in order.
    // Returns early when stopped.
    void Write(const std::uint8_t* data, std::size_t size, const Sink& sink) {
        const std::size_t count = Count(size);
        std::size_t mine = 0;  // the next even slice to make
        for (std::size_t w = 0; w < count; ++w) {
            const auto ready = [&] {
                return (made_[w % kSlots].load() == w + 1 && (w != 0 || digestKnown_.load())) || stopped_.load();
            };
            while (!ready()) {
                // While the worker finishes a slice or the digest, the next of this thread's
                // own, as far as free slots go: the slot of slice k is free once slice
                // k - kSlots has been written.
                if (mine < count && mine < w + kSlots) {
                    Make(data, size, mine);
                    mine += 2;
                    continue;
                }
                while (!Spin(ready)) {
                    std::this_thread::yield();  // the worker is not running
                }
            }
            if (stopped_.load()) {
                return;
            }
            char* slot = Slot(w);
            const std::size_t length = 3 * std::min(kSlice, size - w * kSlice) - (w + 1 == count ? 1 : 0);
            if (w == 0) {
                modHEX::WriteSpacedPairs(reinterpret_cast<const std::uint8_t*>(digest_.data()), digest_.size(),
                                         slot - kFront);
                sink(slot - kFront, kFront + length);
            } else {
                sink(slot, length);
            }
            written_.Raise(w + 1);
        }
    }

    void Stop() noexcept {
        stopped_.store(true);
        written_.Close();
    }

private:
    static constexpr std::size_t kSlice = std::size_t{1} << 17;
    static constexpr std::size_t kSlots = 4;                 // even: slot k % kSlots is always made by one thread
    static constexpr std::size_t kFront = 3 * DigestLength;  // the digest's pairs, before a slot
    static constexpr std::size_t kSlotBytes = kFront + 3 * kSlice;
    static constexpr std::size_t kRingBytes = kSlots * kSlotBytes;

    static std::size_t Count(std::size_t size) noexcept { return (size + kSlice - 1) / kSlice; }
    char* Slot(std::size_t k) const noexcept { return ring_.get() + (k % kSlots) * kSlotBytes + kFront; }

    void Make(const std::uint8_t* data, std::size_t size, std::size_t k) noexcept {
        modHEX::WriteSpacedPairs(data + k * kSlice, std::min(kSlice, size - k * kSlice), Slot(k));
        made_[k % kSlots].store(k + 1);
    }

    std::unique_ptr<char[]> ring_;
    std::array<char, DigestLength> digest_{};
    std::atomic<bool> digestKnown_{false};
    Watermark written_;                                    // slices handed to the sink
    std::array<std::atomic<std::size_t>, kSlots> made_{};  // in each slot, 1 + the slice made there
    std::atomic<bool> stopped_{false};
};

}  // namespace

bool SealLastPassToSink(Engine& engine, InPlace& message, std::u16string_view key, const Sink& sink) {
    CiphertextDigester digester;
    std::optional<PairsRing> ring;  // only where a second thread helps
    LastPassWork work;
    work.start = [&] { ring.emplace(); };
    work.take = [&](const std::uint8_t* data, std::size_t from, std::size_t to, std::size_t) {
        if (from == 0) {
            ring->Prefault();
        }
        digester.Update(data + from, to - from);
    };
    work.workerTail = [&] {
        ring->SetDigest(digester.Final());
        ring->Help(message.data, message.size);
    };
    work.callerTail = [&] { ring->Write(message.data, message.size, sink); };
    work.stop = [&] { ring->Stop(); };
    return RunLastPass(engine, message, key, work);
}

bool SealLastPassToPlacedSink(Engine& engine, InPlace& message, std::u16string_view key, const PlacedSink& placed) {
    CiphertextDigester digester;
    constexpr std::size_t kSlice = std::size_t{1} << 16;
    std::string piece(3 * kSlice, ' ');
    constexpr std::uint64_t kFront = 3 * DigestLength;  // the digest's pairs and a space
    LastPassWork work;
    work.take = [&](const std::uint8_t* data, std::size_t from, std::size_t to, std::size_t total) {
        digester.Update(data + from, to - from);
        for (std::size_t at = from; at < to; at += kSlice) {
            const std::size_t n = std::min(kSlice, to - at);
            modHEX::WriteSpacedPairs(data + at, n, piece.data());
            placed(piece.data(), 3 * n - (at + n == total ? 1 : 0), kFront + 3 * std::uint64_t{at});
        }
    };
    if (!RunLastPass(engine, message, key, work)) {
        return false;
    }
    const auto digest = digester.Final();
    modHEX::WriteSpacedPairs(reinterpret_cast<const std::uint8_t*>(digest.data()), digest.size(), piece.data());
    placed(piece.data(), kFront - (message.size == 0 ? 1 : 0), 0);
    return true;
}

}  // namespace tavorin::envelope

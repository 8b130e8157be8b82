#include "envelope/Envelope.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>

#include "base/AnsiCodePage.h"
#include "base/CpuFeatures.h"
#include "base/Failure.h"
#include "base/Team.h"
#include "base/Watermark.h"
#include "codecs/CSHA256.h"
#include "codecs/modHEX.h"

#if defined(__x86_64__) && !defined(__EMSCRIPTEN__)
#include <immintrin.h>
#endif

namespace tavorin::envelope {

namespace {

// What the digest reads for each ciphertext byte: the low 8 bits of its character.
const std::array<std::uint8_t, 256>& DigestBytes() {
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (unsigned b = 0; b < 256; ++b) {
            t[b] = static_cast<std::uint8_t>(AnsiCodePage::ByteToChar(static_cast<std::uint8_t>(b)) & 0xFF);
        }
        return t;
    }();
    return table;
}

// Large envelopes have their digest made on a thread of its own while the last pass runs;
// below this size a thread costs more than it saves.
constexpr std::size_t kDigestAlongside = std::size_t{1} << 20;
// The worker takes the finished ciphertext in batches of this size: few wake-ups, and a short
// tail once the chain ends.
constexpr std::size_t kBatch = std::size_t{256} << 10;
// How long the worker sleeps between looks at the chain's progress: a third of a batch or so.
constexpr std::chrono::microseconds kNap{500};

void MapPortable(const std::uint8_t* data, std::size_t n, std::uint8_t* out) noexcept {
    const auto& map = DigestBytes();
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = map[data[i]];
    }
}

#if defined(__x86_64__) && !defined(__EMSCRIPTEN__)
// Only the bytes 0x80 to 0x9F change: two shuffles look them up, sixteen at a time.
__attribute__((target("ssse3"))) void MapSsse3(const std::uint8_t* data, std::size_t n, std::uint8_t* out) noexcept {
    const auto& map = DigestBytes();
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(map.data() + 0x80));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(map.data() + 0x90));
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i index = _mm_sub_epi8(b, _mm_set1_epi8(static_cast<char>(0x80)));
        const __m128i inside = _mm_cmpeq_epi8(_mm_min_epu8(index, _mm_set1_epi8(0x1F)), index);
        const __m128i upper = _mm_cmpeq_epi8(_mm_and_si128(index, _mm_set1_epi8(0x10)), _mm_set1_epi8(0x10));
        const __m128i nibble = _mm_and_si128(index, _mm_set1_epi8(0x0F));
        const __m128i mapped = _mm_or_si128(_mm_andnot_si128(upper, _mm_shuffle_epi8(low, nibble)),
                                            _mm_and_si128(upper, _mm_shuffle_epi8(high, nibble)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_or_si128(_mm_and_si128(inside, mapped), _mm_andnot_si128(inside, b)));
    }
    MapPortable(data + i, n - i, out + i);
}
#endif

// The bytes the digest reads for data[0, n).
void MapToDigestBytes(const std::uint8_t* data, std::size_t n, std::uint8_t* out) noexcept {
#if defined(__x86_64__) && !defined(__EMSCRIPTEN__)
    static const bool vector = cpu::Ssse3();
    if (vector) {
        MapSsse3(data, n, out);
        return;
    }
#endif
    MapPortable(data, n, out);
}

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
        throw Failure::Invalid("The number of passes must be from 1 to " + std::to_string(MaxPasses));
    }
}

namespace {

// The envelope to sink: the digest's pairs, then the ciphertext's, made a slice at a time into
// a buffer that stays in cache (the first slice goes out with the digest's pairs). Every pair
// but the very last carries its space.
void Emit(const std::array<char, DigestLength>& digest, const std::uint8_t* data, std::size_t size, const Sink& sink) {
    constexpr std::size_t kSlice = std::size_t{1} << 17;
    constexpr std::size_t kFront = 3 * DigestLength;
    const std::size_t first = std::min(kSlice, size);
    // No larger than the envelope needs; every character is written before it is read.
    const std::unique_ptr<char[]> piece(new char[kFront + 3 * first]);
    modHEX::WriteSpacedPairs(reinterpret_cast<const std::uint8_t*>(digest.data()), digest.size(), piece.get());
    modHEX::WriteSpacedPairs(data, first, piece.get() + kFront);
    sink(piece.get(), kFront + 3 * first - (first == size ? 1 : 0));
    for (std::size_t at = first; at < size; at += kSlice) {
        const std::size_t n = std::min(kSlice, size - at);
        modHEX::WriteSpacedPairs(data + at, n, piece.get());
        sink(piece.get(), 3 * n - (at + n == size ? 1 : 0));
    }
}

}  // namespace

void CiphertextDigester::Update(const std::uint8_t* data, std::size_t size) noexcept {
    for (std::size_t at = 0; at < size; at += slice_.size()) {
        const std::size_t n = std::min(slice_.size(), size - at);
        MapToDigestBytes(data + at, n, slice_.data());
        sha_.Update(slice_.data(), n);
    }
}

std::array<char, DigestLength> CiphertextDigester::Final() {
    const std::string hex = CSHA256::ToLowerHex(sha_.Final());
    std::array<char, DigestLength> digest{};
    std::memcpy(digest.data(), hex.data(), std::min(hex.size(), digest.size()));
    return digest;
}

std::array<char, DigestLength> CiphertextDigest(const std::uint8_t* data, std::size_t size) {
    CiphertextDigester digester;
    digester.Update(data, size);
    return digester.Final();
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

void WriteEnvelope(const ByteArray& ciphertext, const Sink& sink) {
    WriteEnvelope(CiphertextDigest(ciphertext.data(), ciphertext.size()), ciphertext, sink);
}

void WriteEnvelope(const std::array<char, DigestLength>& digest, const ByteArray& ciphertext, const Sink& sink) {
    Emit(digest, ciphertext.data(), ciphertext.size(), sink);
}

namespace {

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
                // chain's thread a system call and the machine an interrupt between cores.
                while (!nearEnd && ready.Value() < want && !ready.Closed()) {
                    std::this_thread::sleep_for(kNap);
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

// All passes but the last, which the caller runs itself.
void EarlierPasses(Engine& engine, InPlace& message, std::u16string_view key, std::int32_t passes) {
    const CountedPasses checked(passes);  // a wrong count is refused before anything runs
    for (std::int32_t pass = 1; pass < passes; ++pass) {
        message.size = engine.EncryptInPlace(message.data, message.size, message.room, key);
    }
}

}  // namespace

InPlace RoomIn(ByteArray& bytes, std::int32_t passes, std::size_t blockSize) {
    const CountedPasses checked(passes);
    const std::size_t size = bytes.size();
    const std::size_t room = SealingRoom(size, passes, blockSize);
    if (bytes.capacity() < room) {
        ByteArray larger;
        larger.reserve(room);
        larger.assign(bytes.begin(), bytes.end());
        SecureWipe(bytes);
        bytes.swap(larger);
    }
    bytes.resize(room);
    return {bytes.data(), size, room};
}

void SealToSink(Engine& engine, InPlace& message, std::u16string_view key, std::int32_t passes, const Sink& sink) {
    EarlierPasses(engine, message, key, passes);
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
    if (!RunLastPass(engine, message, key, work)) {
        Emit(CiphertextDigest(message.data, message.size), message.data, message.size, sink);
    }
}

void SealToSink(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes, const Sink& sink) {
    InPlace message = RoomIn(bytes, passes, engine.BlockSize());
    SealToSink(engine, message, key, passes, sink);
    bytes.resize(message.size);
}

std::uint64_t SealToPlacedSink(Engine& engine, InPlace& message, std::u16string_view key, std::int32_t passes,
                               const PlacedSink& placed) {
    EarlierPasses(engine, message, key, passes);
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
    const bool covered = RunLastPass(engine, message, key, work);
    if (!covered) {
        std::uint64_t offset = 0;
        Emit(CiphertextDigest(message.data, message.size), message.data, message.size,
             [&](const char* data, std::size_t size) {
                 placed(data, size, offset);
                 offset += size;
             });
        return offset;
    }
    const auto digest = digester.Final();
    modHEX::WriteSpacedPairs(reinterpret_cast<const std::uint8_t*>(digest.data()), digest.size(), piece.data());
    placed(piece.data(), kFront - (message.size == 0 ? 1 : 0), 0);
    return EnvelopeLength(message.size);
}

std::uint64_t SealToPlacedSink(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes,
                               const PlacedSink& placed) {
    InPlace message = RoomIn(bytes, passes, engine.BlockSize());
    const std::uint64_t length = SealToPlacedSink(engine, message, key, passes, placed);
    bytes.resize(message.size);
    return length;
}

std::string EnvelopeText(const ByteArray& ciphertext) {
    std::string text;
    text.reserve(static_cast<std::size_t>(EnvelopeLength(ciphertext.size())));
    WriteEnvelope(ciphertext, [&](const char* data, std::size_t size) { text.append(data, size); });
    return text;
}

std::string MakeEnvelope(Engine& engine, ByteArray message, std::u16string_view key, std::int32_t passes) {
    std::string text;
    SealToSink(engine, message, key, passes, [&](const char* data, std::size_t size) { text.append(data, size); });
    SecureWipe(message);
    return text;
}

ByteArray DecodePairs(std::string_view text) { return modHEX::HexToBytes(text, 1); }

ByteArray DecodePairs(std::u16string_view text) { return modHEX::HexToBytes(text, 1); }

bool DigestMatches(const ByteArray& decoded) {
    if (decoded.size() < DigestLength) {
        throw Failure::Invalid("The text is too short to hold the message digest");
    }
    const auto digest = CiphertextDigest(decoded.data() + DigestLength, decoded.size() - DigestLength);
    // A stored byte matches a digest character only as that ASCII character itself.
    return std::equal(digest.begin(), digest.end(), decoded.begin(),
                      [](char d, std::uint8_t b) { return static_cast<std::uint8_t>(d) == b; });
}

void StripDigest(ByteArray& decoded) {
    if (decoded.size() < DigestLength) {
        throw Failure::Invalid("The text is too short to hold the message digest");
    }
    decoded.erase(decoded.begin(), decoded.begin() + DigestLength);
}

Outcome DecryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, PassHook& hook) {
    const bool opened = RunPasses(bytes, hook, [&](ByteArray& b) { return engine.DecryptByte(b, key); });
    return opened ? Outcome::Opened : Outcome::WrongKey;
}

Outcome DecryptPasses(Engine& engine, ByteArray& bytes, std::u16string_view key, std::int32_t passes) {
    CountedPasses counted(passes);
    return DecryptPasses(engine, bytes, key, counted);
}

Outcome OpenDecoded(Engine& engine, ByteArray& decoded, std::u16string_view key, std::int32_t passes) {
    // The way every envelope opens: the digest first (a damaged envelope is reported as
    // damaged, whatever the key), then the passes, each split over every core.
    CountedPasses counted(passes);
    if (!DigestMatches(decoded)) {
        return Outcome::AuthenticationFailed;
    }
    StripDigest(decoded);
    return DecryptPasses(engine, decoded, key, counted);
}

Outcome OpenEnvelope(Engine& engine, std::string_view text, std::u16string_view key, std::int32_t passes,
                     ByteArray& message) {
    message = DecodePairs(text);
    return OpenDecoded(engine, message, key, passes);
}

std::size_t UnwrapText(char* text, std::size_t size) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto lineBreak = [](char c) { return c == '\r' || c == '\n'; };
    const auto space = [&](char c) { return blank(c) || lineBreak(c); };

    std::size_t begin = 0;
    std::size_t end = size;
    while (begin < end && space(text[begin])) {
        ++begin;
    }
    while (end > begin && space(text[end - 1])) {
        --end;
    }
    // Line by line: the text between line breaks is moved as a whole; only the white space
    // around each break is judged.
    std::size_t out = 0;
    std::size_t digits = 0;  // characters since the last separator written
    const auto move = [&](std::size_t from, std::size_t to) {
        if (out != from && to > from) {
            std::memmove(text + out, text + from, to - from);
        }
        out += to - from;
    };
    std::size_t lf = begin;  // the next LF at or after i, or end; kept, so that lines ended
                             // by CR alone do not search the rest of the text each time
    bool lfKnown = false;
    for (std::size_t i = begin; i < end;) {
        // text[i] is never white space here.
        if (!lfKnown || lf < i) {
            const void* found = std::memchr(text + i, '\n', end - i);
            lf = found ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : end;
            lfKnown = true;
        }
        std::size_t brk = lf;
        if (const void* cr = std::memchr(text + i, '\r', brk - i)) {
            brk = static_cast<std::size_t>(static_cast<const char*>(cr) - text);
        }
        if (brk == end) {
            move(i, end);  // runs without a line break are left for the pair rule
            break;
        }
        std::size_t runStart = brk;
        while (runStart > i && blank(text[runStart - 1])) {
            --runStart;
        }
        std::size_t k = runStart;
        while (k > i && !space(text[k - 1])) {
            --k;
        }
        digits = k > i ? runStart - k : digits + (runStart - i);
        move(i, runStart);  // after the count: the move may overwrite what was counted

        std::size_t j = runStart;
        bool hasBlank = false;
        while (j < end && space(text[j])) {
            hasBlank = hasBlank || blank(text[j]);
            ++j;
        }
        if (hasBlank || digits % 2 == 0) {
            text[out++] = ' ';
            digits = 0;
        }
        // else: a bare line break inside a pair, as a hard wrap leaves it; drop it.
        i = j;
    }
    return out;
}

}  // namespace tavorin::envelope

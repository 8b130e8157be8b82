#pragma once
// The frame shared by every engine, written once over the block cipher so that the
// chaining loops inline its block function.
//
//   offset 0   random word 0 (little-endian, 0..2^31-1)
//          4   random word 1
//          8   data length L, signed 32-bit little-endian
//         12   the L data bytes, then zero padding to a whole number of blocks
//
// The whole frame is chained (CBC) from an all-zero block.
//
// A cipher class derives as  class clsX final : public FramedEngine<clsX, B>  and supplies
//   void EncryptBlock(std::uint8_t* block) noexcept;   // one block in place
//   void DecryptBlock(std::uint8_t* block) noexcept;
//   void Key(std::u16string_view) override;            // its own key rule
// and may supply, when it can do better than one block at a time,
//   void EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;
//   void DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;
// (CBC over whole blocks in place; prev is the block before data, and on return the last
// ciphertext block.)
//   void EnsureKeyed() const;                          // throws when it cannot work yet

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/ChunkPipeline.h"
#include "base/Failure.h"
#include "base/Files.h"
#include "engines/Engine.h"
#include "engines/Module1.h"

namespace tavorin {

namespace frame {

inline constexpr std::size_t HeaderSize = 12;
inline constexpr std::uint64_t MaxFrame = 2147483647u;

// The frame length for L data bytes, or 0 when it would pass the largest signed 32-bit value.
constexpr std::uint64_t FrameLength(std::uint64_t L, std::size_t B) noexcept {
    const std::uint64_t n = L + HeaderSize;
    const std::uint64_t framed = (n + B - 1) / B * B;
    return framed > MaxFrame ? 0 : framed;
}

// A random word of the header, 0 to 2147483647, from the operating system's generator.
std::uint32_t RandomWord();

// Writes the 12 header bytes for L data bytes.
void WriteHeader(std::uint8_t* header, std::uint32_t L);

// T - L with the checks of the wrong-key test: true when the stored length fits a frame of
// T bytes. Throws Failure 6 when T - L overflows 32 bits.
bool StoredLengthFits(std::uint64_t T, std::int32_t L, std::size_t B);

// One call's progress events: after the block at offset o, an event is due when o >= Next().
class ProgressRule {
public:
    ProgressRule(std::uint64_t length, const std::function<void(std::int32_t)>& sink) noexcept
        : length_(length), sink_(sink ? &sink : nullptr) {}

    bool Active() const noexcept { return sink_ != nullptr; }
    std::uint64_t Next() const noexcept { return next_; }
    void After(std::uint64_t o);
    // The closing 100, unless the last event already was 100.
    void Finish();

private:
    std::uint64_t length_;
    const std::function<void(std::int32_t)>* sink_;
    std::uint64_t next_ = 0;
    std::int32_t last_ = -1;
};

// Wipes a buffer that held plain data when it goes out of scope, errors included.
struct WipeOnExit {
    ByteArray& bytes;
    ~WipeOnExit() { SecureWipe(bytes); }
};

// Eight bytes at a time: the block function then reads whole words that were stored whole,
// which the processor forwards without a stall.
inline void XorBlock(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) noexcept {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, dst + i, 8);
        std::memcpy(&b, src + i, 8);
        a ^= b;
        std::memcpy(dst + i, &a, 8);
    }
    for (; i < n; ++i) {
        dst[i] ^= src[i];
    }
}

}  // namespace frame

template <class Derived, std::size_t B>
class FramedEngine : public Engine {
public:
    static constexpr std::size_t Block = B;

    std::size_t BlockSize() const noexcept final { return B; }

    void RawEncryptBlock(std::uint8_t* block) final {
        Prepare({});
        Self().EncryptBlock(block);
    }
    void RawDecryptBlock(std::uint8_t* block) final {
        Prepare({});
        Self().DecryptBlock(block);
    }

    void EncryptByte(ByteArray& bytes, std::u16string_view key = {}) final {
        Prepare(key);
        const std::uint64_t L = bytes.size();
        const std::uint64_t N = frame::FrameLength(L, B);
        if (N == 0) {
            throw Failure::OverflowError();
        }
        bytes.resize(N);  // the new bytes are zero, and so become the padding

        // The data moves 12 bytes up to make room for the header. It moves piece by piece just
        // before each piece is encrypted, while the piece is in cache, instead of in a pass
        // of its own: carry holds the 12 frame bytes that belong at the start of the piece.
        std::uint8_t* const data = bytes.data();
        std::array<std::uint8_t, frame::HeaderSize> carry, next;
        frame::WriteHeader(carry.data(), static_cast<std::uint32_t>(L));
        std::array<std::uint8_t, B> prev{};
        frame::ProgressRule progress(N, Progress);
        for (std::size_t done = 0; done < N;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(N - done, kInCache));
            std::uint8_t* const at = data + done;
            if (piece > frame::HeaderSize) {
                std::memcpy(next.data(), at + piece - frame::HeaderSize, frame::HeaderSize);
                std::memmove(at + frame::HeaderSize, at, piece - frame::HeaderSize);
            }
            std::memcpy(at, carry.data(), std::min(piece, frame::HeaderSize));
            carry = next;
            EncryptRun(at, done, piece, prev.data(), progress);
            done += piece;
            if (Sealed) {
                Sealed(data, done, static_cast<std::size_t>(N));
            }
        }
        SecureWipe(carry.data(), carry.size());
        SecureWipe(next.data(), next.size());
        progress.Finish();
    }

    bool DecryptByte(ByteArray& bytes, std::u16string_view key = {}) final {
        Prepare(key);
        const std::uint64_t T = bytes.size();
        CheckCipherLength(T);
        // The stored length decides between success and the wrong-key report; find it on a
        // copy first so that no error leaves the array half decrypted.
        const std::int32_t L = PeekLength(bytes.data());
        const bool fits = frame::StoredLengthFits(T, L, B);

        std::array<std::uint8_t, B> prev{};
        frame::ProgressRule progress(T, Progress);
        if (!fits) {
            DecryptRun(bytes.data(), 0, T, prev.data(), progress);
            ReportWrongKey();
            return false;
        }
        // Each piece's data bytes move down over the header while the piece is in cache. The
        // bytes they land on belong to the piece before, whose data has already moved.
        std::uint8_t* const data = bytes.data();
        const std::uint64_t dataEnd = frame::HeaderSize + static_cast<std::uint64_t>(L);
        for (std::size_t done = 0; done < T;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(T - done, kInCache));
            DecryptRun(data + done, done, piece, prev.data(), progress);
            const std::uint64_t from = std::max<std::uint64_t>(done, frame::HeaderSize);
            const std::uint64_t to = std::min<std::uint64_t>(done + piece, dataEnd);
            if (from < to) {
                std::memmove(data + from - frame::HeaderSize, data + from, static_cast<std::size_t>(to - from));
            }
            done += piece;
        }
        bytes.resize(static_cast<std::size_t>(L));
        progress.Finish();
        return true;
    }

    void EncryptFile(const std::filesystem::path& SourceFile, const std::filesystem::path& DestFile,
                     std::u16string_view key = {}) final {
        CheckSource(SourceFile);
        Prepare(key);
        InputFile in(SourceFile);
        const std::uint64_t L = in.Size();
        const std::uint64_t N = frame::FrameLength(L, B);
        if (N == 0) {
            throw Failure::OverflowError();
        }
        AtomicOutputFile out(DestFile);
        ByteArray buffer(ChunkPipeline::kSlots * static_cast<std::size_t>(std::min<std::uint64_t>(N, kChunk)));
        const frame::WipeOnExit wipe{buffer};
        std::array<std::uint8_t, B> prev{};
        frame::ProgressRule progress(N, Progress);

        std::uint64_t read = 0;  // data bytes read so far
        ChunkPipeline(buffer.data(), buffer.size() / ChunkPipeline::kSlots)
            .Run(
                Chunks(N),
                [&](std::size_t k, std::uint8_t* slot) {
                    const std::size_t chunk = ChunkSize(N, k);
                    std::size_t at = 0;
                    if (k == 0) {
                        frame::WriteHeader(slot, static_cast<std::uint32_t>(L));
                        at = frame::HeaderSize;
                    }
                    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(L - read, chunk - at));
                    in.ReadExact(slot + at, take);
                    read += take;
                    std::memset(slot + at + take, 0, chunk - at - take);
                },
                [&](std::size_t k, std::uint8_t* slot) {
                    EncryptRun(slot, k * kChunk, ChunkSize(N, k), prev.data(), progress);
                },
                [&](std::size_t k, std::uint8_t* slot) { out.Write(slot, ChunkSize(N, k)); });
        out.Commit();
        progress.Finish();
    }

    bool DecryptFile(const std::filesystem::path& SourceFile, const std::filesystem::path& DestFile,
                     std::u16string_view key = {}) final {
        CheckSource(SourceFile);
        Prepare(key);
        InputFile in(SourceFile);
        const std::uint64_t T = in.Size();
        CheckCipherLength(T);
        ByteArray buffer(ChunkPipeline::kSlots * static_cast<std::size_t>(std::min<std::uint64_t>(T, kChunk)));
        const frame::WipeOnExit wipe{buffer};
        in.ReadExact(buffer.data(), ChunkSize(T, 0));
        const std::int32_t L = PeekLength(buffer.data());
        if (!frame::StoredLengthFits(T, L, B)) {
            ReportWrongKey();  // the destination is left as it was
            return false;
        }

        AtomicOutputFile out(DestFile);
        std::array<std::uint8_t, B> prev{};
        frame::ProgressRule progress(T, Progress);
        const std::uint64_t dataEnd = frame::HeaderSize + static_cast<std::uint64_t>(L);
        ChunkPipeline(buffer.data(), buffer.size() / ChunkPipeline::kSlots)
            .Run(
                Chunks(T),
                [&](std::size_t k, std::uint8_t* slot) {
                    if (k != 0) {  // the first was read above
                        in.ReadExact(slot, ChunkSize(T, k));
                    }
                },
                [&](std::size_t k, std::uint8_t* slot) {
                    DecryptRun(slot, k * kChunk, ChunkSize(T, k), prev.data(), progress);
                },
                [&](std::size_t k, std::uint8_t* slot) {
                    // Keep only the data bytes of this chunk: no header, no padding.
                    const std::uint64_t done = k * kChunk;
                    const std::uint64_t from = std::max<std::uint64_t>(done, frame::HeaderSize);
                    const std::uint64_t to = std::min<std::uint64_t>(done + ChunkSize(T, k), dataEnd);
                    if (from < to) {
                        out.Write(slot + (from - done), static_cast<std::size_t>(to - from));
                    }
                });
        out.Commit();
        progress.Finish();
        return true;
    }

protected:
    FramedEngine() = default;

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;  // a multiple of every block size
    static_assert(kChunk % B == 0);

    static std::size_t Chunks(std::uint64_t total) noexcept {
        return static_cast<std::size_t>((total + kChunk - 1) / kChunk);
    }
    // The length of chunk k of total bytes.
    static std::size_t ChunkSize(std::uint64_t total, std::size_t k) noexcept {
        return static_cast<std::size_t>(std::min<std::uint64_t>(total - std::uint64_t{k} * kChunk, kChunk));
    }
    // Pieces of the in-memory operations that stay in the first-level cache.
    static constexpr std::size_t kInCache = std::size_t{16} << 10;
    static_assert(kInCache % B == 0 && kInCache > frame::HeaderSize);

    Derived& Self() noexcept { return static_cast<Derived&>(*this); }

    void Prepare(std::u16string_view key) {
        if (!key.empty()) {
            Self().Key(key);
        }
        if constexpr (requires(const Derived& d) { d.EnsureKeyed(); }) {
            static_cast<const Derived&>(*this).EnsureKeyed();
        }
    }

    static void CheckSource(const std::filesystem::path& source) {
        if (!Module1::FileExist(source)) {
            throw Failure(Failure::ObjectError,
                          "Error in Skipjack EncryptFile procedure (Source file does not exist).");
        }
    }

    // Ciphertext must be whole blocks and hold at least the header.
    static void CheckCipherLength(std::uint64_t T) {
        if (T % B != 0 || T < frame::HeaderSize) {
            throw Failure::Subscript();
        }
        if (T > frame::MaxFrame) {
            throw Failure::OverflowError();
        }
    }

    // The stored length, decrypted from a copy of the blocks that hold bytes 8 to 11.
    std::int32_t PeekLength(const std::uint8_t* frameStart) {
        constexpr std::size_t blocks = (frame::HeaderSize + B - 1) / B;
        std::array<std::uint8_t, blocks * B> copy;
        std::memcpy(copy.data(), frameStart, copy.size());
        std::array<std::uint8_t, B> prev{};
        for (std::size_t k = 0; k < blocks; ++k) {
            std::uint8_t* block = copy.data() + k * B;
            std::array<std::uint8_t, B> cipher;
            std::memcpy(cipher.data(), block, B);
            Self().DecryptBlock(block);
            frame::XorBlock(block, prev.data(), B);
            prev = cipher;
        }
        const auto L = static_cast<std::int32_t>(Module1::LoadLE32(copy.data() + 8));
        SecureWipe(copy.data(), copy.size());
        return L;
    }

    void ReportWrongKey() {
        if (WrongKey) {
            WrongKey(WrongKeyText);
        }
    }

    // Encrypts the whole blocks of data[0, n), which stand at frame offset base.
    void EncryptRun(std::uint8_t* data, std::uint64_t base, std::size_t n, std::uint8_t* prev,
                    frame::ProgressRule& progress) {
        std::size_t o = 0;
        while (o < n) {
            const std::size_t end = RunEnd(base, o, n, progress);
            if constexpr (requires(Derived & d, std::uint8_t * p) { d.EncryptBlocksCBC(p, std::size_t{}, p); }) {
                Self().EncryptBlocksCBC(data + o, (end - o) / B, prev);
                o = end;
            } else {
                for (; o < end; o += B) {
                    std::uint8_t* block = data + o;
                    frame::XorBlock(block, prev, B);
                    Self().EncryptBlock(block);
                    std::memcpy(prev, block, B);
                }
            }
            if (progress.Active() && base + o - B >= progress.Next()) {
                progress.After(base + o - B);
            }
        }
    }

    void DecryptRun(std::uint8_t* data, std::uint64_t base, std::size_t n, std::uint8_t* prev,
                    frame::ProgressRule& progress) {
        std::size_t o = 0;
        while (o < n) {
            const std::size_t end = RunEnd(base, o, n, progress);
            if constexpr (requires(Derived & d, std::uint8_t * p) { d.DecryptBlocksCBC(p, std::size_t{}, p); }) {
                Self().DecryptBlocksCBC(data + o, (end - o) / B, prev);
                o = end;
            } else {
                for (; o < end; o += B) {
                    std::uint8_t* block = data + o;
                    std::array<std::uint8_t, B> cipher;
                    std::memcpy(cipher.data(), block, B);
                    Self().DecryptBlock(block);
                    frame::XorBlock(block, prev, B);
                    std::memcpy(prev, cipher.data(), B);
                }
            }
            if (progress.Active() && base + o - B >= progress.Next()) {
                progress.After(base + o - B);
            }
        }
    }

    // The end (exclusive, relative to data) of the blocks to run before the next progress
    // event falls due: up to and including the first block whose offset reaches Next().
    static std::size_t RunEnd(std::uint64_t base, std::size_t o, std::size_t n,
                              const frame::ProgressRule& progress) noexcept {
        if (!progress.Active()) {
            return n;
        }
        const std::uint64_t next = progress.Next();
        const std::uint64_t due = std::max<std::uint64_t>(base + o, (next + B - 1) / B * B);
        if (due >= base + n) {
            return n;
        }
        return static_cast<std::size_t>(due - base) + B;
    }
};

}  // namespace tavorin

#pragma once
// The framed engine over bytes, written once over the block cipher so that the chaining
// loops inline its block function. The frame is described in FrameFormat.h; files go
// through FramedFile.h; long runs are decrypted on every core (DecryptOnEveryCore.h).
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
#include <cstring>
#include <functional>
#include <optional>

#include "base/Failure.h"
#include "engines/DecryptOnEveryCore.h"
#include "engines/Engine.h"
#include "engines/FrameFormat.h"
#include "engines/FramedFile.h"

namespace tavorin {

namespace frame {

// One call's progress events: after the block at offset o, an event is due when o >= Next().
class ProgressRule {
public:
    ProgressRule(std::uint64_t length, const std::function<void(std::int32_t)>& sink) noexcept
        : length_(length), sink_(sink ? &sink : nullptr) {}

    bool Active() const noexcept { return sink_ != nullptr; }
    std::uint64_t Next() const noexcept { return next_; }
    void After(std::uint64_t o);
    // Every event that one thread going block by block raises by the time `done` bytes of
    // the frame are finished, for work done on several threads at once (blocks of B bytes).
    void Reach(std::uint64_t done, std::size_t B);
    // The closing 100, unless the last event already was 100.
    void Finish();

private:
    std::uint64_t length_;
    const std::function<void(std::int32_t)>* sink_;
    std::uint64_t next_ = 0;
    std::int32_t last_ = -1;
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
            throw Failure(FailureKind::TooLarge);
        }
        bytes.resize(N);  // the new bytes are zero, and so become the padding
        EncryptFrame(bytes.data(), L, N);
    }

    std::size_t EncryptInPlace(std::uint8_t* data, std::size_t length, std::size_t room,
                               std::u16string_view key = {}) final {
        Prepare(key);
        const std::uint64_t N = frame::FrameLength(length, B);
        if (N == 0 || N > room) {
            throw Failure(FailureKind::TooLarge);
        }
        std::memset(data + length, 0, static_cast<std::size_t>(N - length));  // the padding
        EncryptFrame(data, length, N);
        return static_cast<std::size_t>(N);
    }

    bool DecryptByte(ByteArray& bytes, std::u16string_view key = {}) final {
        Prepare(key);
        const std::uint64_t T = bytes.size();
        frame::CheckCipherLength(T, B);
        // The stored length decides between success and the wrong-key report; find it on a
        // copy first so that no error leaves the array half decrypted.
        const std::int32_t L = PeekLength(bytes.data());
        const bool fits = frame::StoredLengthFits(T, L, B);

        std::array<std::uint8_t, B> prev{};
        frame::ProgressRule progress(T, Progress);
        if (frame::EveryCore::Worth(T)) {
            frame::EveryCore(static_cast<std::size_t>(T / kPiece))
                .Decrypt(bytes.data(), 0, static_cast<std::size_t>(T), prev.data(), B, kInCache, fits, progress,
                         Chain());
            if (!fits) {
                ReportWrongKey();
                return false;
            }
            bytes.resize(static_cast<std::size_t>(L));
            progress.Finish();
            return true;
        }
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

    void DecryptChained(std::uint8_t* data, std::size_t n, std::uint8_t* prev) final {
        Prepare({});
        static const std::function<void(std::int32_t)> silent;
        frame::ProgressRule none(n, silent);
        DecryptRun(data, 0, n / B * B, prev, none);
    }

#ifndef TAVORIN_NO_FILES
    void EncryptFile(const std::filesystem::path& SourceFile, const std::filesystem::path& DestFile,
                     std::u16string_view key = {}) final {
        frame::CheckSource(SourceFile);
        Prepare(key);
        std::array<std::uint8_t, B> prev{};
        frame::EncryptFile(SourceFile, DestFile, destPolicy_, fileHooks_, B, Progress,
                           [&](std::uint8_t* data, std::uint64_t base, std::size_t n, frame::ProgressRule& progress) {
                               EncryptRun(data, base, n, prev.data(), progress);
                           });
    }

    bool DecryptFile(const std::filesystem::path& SourceFile, const std::filesystem::path& DestFile,
                     std::u16string_view key = {}) final {
        frame::CheckSource(SourceFile);
        Prepare(key);
        std::array<std::uint8_t, B> prev{};
        const frame::BlockRun chain = Chain();
        std::optional<frame::EveryCore> cores;  // started with the first chunk worth sharing
        const bool fits = frame::DecryptFile(
            SourceFile, DestFile, destPolicy_, fileHooks_, B, Progress,
            [&](const std::uint8_t* frameStart) { return PeekLength(frameStart); },
            [&](std::uint8_t* data, std::uint64_t base, std::size_t n, frame::ProgressRule& progress) {
                if (!cores && frame::EveryCore::Worth(n)) {
                    cores.emplace(frame::FileChunk / kPiece);
                }
                if (cores && n >= kSplitFrom) {
                    cores->Decrypt(data, base, n, prev.data(), B, kInCache, false, progress, chain);
                } else {
                    DecryptRun(data, base, n, prev.data(), progress);
                }
            },
            chain);
        if (!fits) {
            ReportWrongKey();
        }
        return fits;
    }
#endif

protected:
    // The cipher's key schedule and key text lie in its object, which begins with this one (its
    // only base): they stay out of swap while the engine lives, and are wiped before it ends.
    FramedEngine() noexcept : locked_(this, sizeof(Derived), Holds::Key) {}

private:
    LockedMemory locked_;

    static_assert(frame::FileChunk % B == 0);

    // Pieces of the in-memory operations that stay in the first-level cache.
    static constexpr std::size_t kInCache = std::size_t{16} << 10;
    static_assert(kInCache % B == 0 && kInCache > frame::HeaderSize);
    // Decryption on every core (DecryptOnEveryCore.h): frames (and file chunks) from kSplitFrom
    // bytes on, in pieces of kPiece bytes.
    static constexpr std::size_t kPiece = frame::EveryCore::kPiece;
    static constexpr std::size_t kSplitFrom = frame::EveryCore::kSplitFrom;
    static_assert(frame::FileChunk % kPiece == 0 && kPiece % kInCache == 0 && frame::FileChunk >= kSplitFrom);

    Derived& Self() noexcept { return static_cast<Derived&>(*this); }

    void Prepare(std::u16string_view key) {
        if (!key.empty()) {
            Self().Key(key);
        }
        if constexpr (requires(const Derived& d) { d.EnsureKeyed(); }) {
            static_cast<const Derived&>(*this).EnsureKeyed();
        }
    }

    // Public through Engine.
    std::int32_t PeekLength(const std::uint8_t* frameStart, std::u16string_view key = {}) final {
        Prepare(key);
        return frame::PeekLength<B>(frameStart, [this](std::uint8_t* block) { Self().DecryptBlock(block); });
    }

    void ReportWrongKey() {
        if (WrongKey) {
            WrongKey(WrongKeyText);
        }
    }

    // Frames the message data[0, L) into data[0, N) (the bytes from L on are zero) and
    // encrypts it.
    void EncryptFrame(std::uint8_t* const data, std::uint64_t L, std::uint64_t N) {
        // The data moves 12 bytes up to make room for the header. It moves piece by piece just
        // before each piece is encrypted, while the piece is in cache, instead of in a pass
        // of its own: carry holds the 12 frame bytes that belong at the start of the piece.
        std::array<std::uint8_t, frame::HeaderSize> carry, next;
        struct Wipe {  // also when a handler throws
            std::array<std::uint8_t, frame::HeaderSize>&a, &b;
            ~Wipe() {
                SecureWipe(a.data(), a.size());
                SecureWipe(b.data(), b.size());
            }
        } wipe{carry, next};
        frame::WriteHeader(carry.data(), static_cast<std::uint32_t>(L));
        std::array<std::uint8_t, B> prev{};
        frame::ProgressRule progress(N, Progress);
        for (std::size_t done = 0; done < N;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(N - done, kInCache));
            std::uint8_t* const at = data + done;
            if (Needed) {
                Needed(static_cast<std::size_t>(std::min<std::uint64_t>(done + piece, L)));
            }
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
        progress.Finish();
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

    // Decrypts whole blocks in place from a chain block, raising nothing; safe on several
    // threads at once.
    frame::BlockRun Chain() {
        return [this](std::uint8_t* data, std::size_t n, std::uint8_t* chain) {
            static const std::function<void(std::int32_t)> silent;
            frame::ProgressRule none(n, silent);
            DecryptRun(data, 0, n, chain, none);
        };
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

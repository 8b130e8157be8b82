#pragma once
// The contract every cipher engine offers: a key, byte-array, string and file operations
// over one frame format, and two events (Progress, WrongKey), plus a hook for pipelining.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "base/Files.h"
#include "base/Types.h"

namespace tavorin {

class Engine {
public:
    // What the owner shows (or prints) when a decrypted frame's stored length does not fit.
    static constexpr std::u16string_view WrongKeyText =
        u"It appears you have entered an incorrect key.\r\nYour message may not be decrypted properly";
    static constexpr std::u16string_view WrongKeyTitle = u"Key";

    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    virtual ~Engine() = default;

    // Display name: "Blowfish", "DES", "Gost", "Skipjack" or "Twofish".
    virtual std::u16string_view Name() const noexcept = 0;
    // Block size in bytes: 8, or 16 for Twofish.
    virtual std::size_t BlockSize() const noexcept = 0;

    // The write-only Key property. Each engine has its own rule for repeated and empty keys.
    virtual void Key(std::u16string_view New_Value) = 0;

    // Frames and encrypts bytes in place. A non-empty key is set first.
    virtual void EncryptByte(ByteArray& bytes, std::u16string_view key = {}) = 0;
    // The same over memory the caller holds: the message's `length` bytes at data, in a
    // buffer of `room` bytes that the frame grows into; what lies past the message need not be
    // set. Returns the frame's length; Failure 6 when the frame would not fit in the room.
    virtual std::size_t EncryptInPlace(std::uint8_t* data, std::size_t length, std::size_t room,
                                       std::u16string_view key = {});
    // Decrypts in place and removes the frame. Returns false when the stored length does not
    // fit (wrong key or not a frame): WrongKey has then fired once and the array holds the
    // whole decrypted frame. Errors are thrown before the array is changed.
    virtual bool DecryptByte(ByteArray& bytes, std::u16string_view key = {}) = 0;
    // The stored length (bytes 8 to 11) of the frame that begins at frameStart, decrypted on
    // a copy of its first 16 bytes. A non-empty key is set first. Raises no event: it is how
    // a caller learns whether DecryptByte would fit without any report of a wrong key.
    virtual std::int32_t PeekLength(const std::uint8_t* frameStart, std::u16string_view key = {}) = 0;
    // CBC decryption of the whole blocks of data[0, n) in place, no frame and no event, with
    // the current key: prev holds the ciphertext block before data (zeros at a frame's start)
    // and, on return, data's last ciphertext block. For a caller that splits a frame's
    // decryption over workers of its own, each piece chained from the block before it.
    virtual void DecryptChained(std::uint8_t* data, std::size_t n, std::uint8_t* prev);

    // The same through the code page, one character per byte.
    std::u16string EncryptString(std::u16string_view Text, std::u16string_view key = {});
    std::u16string DecryptString(std::u16string_view Text, std::u16string_view key = {});

#ifndef TAVORIN_NO_FILES
    // Stream a file through the frame into an unnamed file beside the destination, named
    // only when complete. On any failure (and on a wrong key) the destination is untouched.
    virtual void EncryptFile(const std::filesystem::path& SourceFile, const std::filesystem::path& DestFile,
                             std::u16string_view key = {}) = 0;
    virtual bool DecryptFile(const std::filesystem::path& SourceFile, const std::filesystem::path& DestFile,
                             std::u16string_view key = {}) = 0;
#endif

    // One block of the cipher alone, in place, with the current key: no frame, no chaining.
    // For known-answer tests and fuzzing.
    virtual void RawEncryptBlock(std::uint8_t* block) = 0;
    virtual void RawDecryptBlock(std::uint8_t* block) = 0;

    // Raised synchronously during the byte and file operations; nothing when unset.
    std::function<void(std::int32_t Percent)> Progress;
    // Raised once when decryption finds a frame whose stored length does not fit.
    std::function<void(std::u16string_view text)> WrongKey;
    // Raised during EncryptByte each time more of the frame is final: data[0, ready) of the
    // total frame bytes will not change again in this call. Lets a caller digest or encode
    // the ciphertext on another thread while the chain runs on.
    std::function<void(const std::uint8_t* data, std::size_t ready, std::size_t total)> Sealed;
    // Raised during EncryptByte before the chain reads further into the message: the first
    // upTo bytes of it must be in place when the handler returns. Lets a caller encrypt a
    // message of known length while it is still being read; the handler may throw to stop.
    std::function<void(std::size_t upTo)> Needed;

    // How EncryptFile and DecryptFile meet their destination; by default they replace it.
    void DestPolicy(OutputPolicy policy) noexcept { destPolicy_ = policy; }

#ifndef TAVORIN_NO_FILES
    // What a caller puts around the frame of a file (a digest in front of it): none by default.
    void FileHooks(FrameFileHooks hooks) { fileHooks_ = std::move(hooks); }
#endif

protected:
    OutputPolicy destPolicy_;
#ifndef TAVORIN_NO_FILES
    FrameFileHooks fileHooks_;
#endif
};

}  // namespace tavorin

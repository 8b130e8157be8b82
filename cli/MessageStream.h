#pragma once
// A message that is a regular file, read on a second thread while it is encrypted: the fast form
// of reading it whole first (ReadAll, ReadFile in Input.h), which is what the commands fall back
// on and what the sealed envelope must equal.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "base/Files.h"
#include "base/Watermark.h"
#include "envelope/Envelope.h"

namespace tavorin::cli {

// A message of known length read on a second thread while it is encrypted: the chain starts
// on the first piece instead of after the last. Only ASCII can go this way (its bytes are the
// same in UTF-8 and Windows-1252, so the frame's length is the file's); Need throws NotAscii at
// the first piece that is not, and the message is then read again the ordinary way.
class MessageStream {
public:
    struct NotAscii {};
    // Reads exactly n bytes at offset from the message's start, or throws.
    using ReadAt = std::function<void(std::uint8_t* into, std::size_t n, std::uint64_t offset)>;

    // Starts reading size bytes into a buffer with room for slack more. The buffer is not
    // filled first: its pages are first touched as the second thread reads into them.
    MessageStream(std::size_t size, std::size_t slack, ReadAt readAt);
    ~MessageStream();  // stops the reading and wipes what the buffer held (unless sealed)
    MessageStream(const MessageStream&) = delete;
    MessageStream& operator=(const MessageStream&) = delete;

    envelope::InPlace& Message() noexcept { return message_; }
    // The buffer holds the sealed frame now, no plaintext: it need not be wiped.
    void Sealed() noexcept { sealed_ = true; }
    // Waits until the first upTo bytes are read (all of them, past the message); throws NotAscii,
    // or the reading's failure.
    void Need(std::size_t upTo);

private:
    std::unique_ptr<std::uint8_t[]> buffer_;
    LockedMemory locked_;
    envelope::InPlace message_;
    std::size_t size_;
    ReadAt readAt_;
    Watermark read_;
    std::atomic<std::size_t> touched_{0};  // how far the reading has written into the buffer
    std::atomic<bool> stop_{false};
    std::exception_ptr failure_;
    std::thread reader_;
    bool sealed_ = false;
};

// A message that is a regular file (-i FILE, or standard input redirected from one): its
// length, and its bytes read at offsets without moving a file position. Nothing for a pipe or
// a terminal. Throws as InputFile does for a FILE that cannot be read.
struct MessageSource {
    std::uint64_t size = 0;
    MessageStream::ReadAt readAt;
    // Standard input is left where the message ends, as reading it would leave it.
    void Consumed() const;
    // Or where the message starts, for it to be read again: reads at offsets move a Windows
    // handle's position (POSIX's pread leaves it).
    void Rewind() const;

    std::shared_ptr<InputFile> file;
    int fd = -1;
    std::uint64_t start = 0;
};
std::optional<MessageSource> MessageSourceOf(const std::string& input, int inFd);

// Messages from this size on are read while they are encrypted, where a second thread can run.
inline constexpr std::size_t StreamedFrom = std::size_t{1} << 20;

}  // namespace tavorin::cli

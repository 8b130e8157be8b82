#include "cli/MessageStream.h"

#include <algorithm>
#include <cstdint>

#include "base/AnsiCodePage.h"
#include "base/Descriptors.h"
#include "base/Failure.h"
#include "base/Memory.h"

namespace tavorin::cli {

MessageStream::MessageStream(std::size_t size, std::size_t slack, ReadAt readAt)
    : size_(size), readAt_(std::move(readAt)) {
    if (size > SIZE_MAX - slack) {
        throw Failure(FailureKind::TooLarge);
    }
    // Not filled: that would fault every page in on this thread before the chain starts.
    buffer_.reset(new std::uint8_t[size + slack]);
    message_ = {buffer_.get(), size, size + slack};
    std::uint8_t* const data = buffer_.get();
    // Within the budget of locked memory only, which keeps the faulting-in below a few MiB.
    locked_ = LockedMemory(data, size + slack, Holds::Message);
    // Large pages past the first 2 MiB: fewer page faults for the reading thread and a quick
    // unmapping at the end. Not near the start, where the chain follows the reading closely: a
    // large page now and then takes milliseconds to come, which the chain would wait for.
    constexpr std::size_t kNear = std::size_t{2} << 20;
    if (size + slack > 2 * kNear) {
        AdviseLargePages(data + kNear, size + slack - kNear);
    }
    const auto readPiece = [this, data](std::size_t at, std::size_t n) {
        touched_.store(at + n);
        readAt_(data + at, n, at);
        return AsciiPrefix(data + at, n) == n;
    };
    // The first piece on this thread, so that the chain starts at once; the rest on the second,
    // in pieces that grow while the chain is still close behind.
    const std::size_t first = std::min(size, std::size_t{64} << 10);
    try {
        if (!readPiece(0, first)) {
            read_.Close();
            return;
        }
    } catch (...) {
        SecureWipe(data, first);
        throw;
    }
    read_.Raise(first);
    reader_ = std::thread([this, readPiece, first] {
        try {
            std::size_t piece = std::size_t{128} << 10;
            for (std::size_t at = first; at < size_ && !stop_.load();
                 at += piece, piece = std::min(2 * piece, std::size_t{1} << 20)) {
                const std::size_t n = std::min(piece, size_ - at);
                if (!readPiece(at, n)) {
                    break;
                }
                read_.Raise(at + n);
            }
        } catch (...) {
            failure_ = std::current_exception();
        }
        read_.Close();
    });
}

MessageStream::~MessageStream() {
    stop_.store(true);
    if (reader_.joinable()) {
        reader_.join();
    }
    if (!sealed_) {
        // The chain writes only over what was read, and past the message's end.
        SecureWipe(message_.data, touched_.load());
        SecureWipe(message_.data + size_, message_.room - size_);
    }
}

void MessageStream::Need(std::size_t upTo) {
    upTo = std::min(upTo, size_);
    if (upTo == 0 || read_.WaitFor(upTo) >= upTo) {
        return;
    }
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    throw NotAscii{};
}

std::optional<MessageSource> MessageSourceOf(const std::string& input, int inFd) {
    MessageSource source;
    if (!input.empty()) {
        source.file = std::make_shared<InputFile>(PathFromUtf8(input));
        source.size = source.file->Size();
    } else {
        const DescriptorInfo info = Describe(inFd);
        if (info.kind != DescriptorKind::RegularFile) {
            return std::nullopt;
        }
        const std::optional<std::uint64_t> start = Position(inFd);
        if (!start || *start > info.size) {
            return std::nullopt;
        }
        source.file = std::make_shared<InputFile>(inFd, "standard input");
        source.fd = inFd;
        source.start = *start;
        source.size = info.size - *start;
    }
    source.readAt = [file = source.file, begin = source.start](std::uint8_t* into, std::size_t n,
                                                               std::uint64_t offset) {
        file->ReadAt(into, n, begin + offset);
    };
    return source;
}

void MessageSource::Consumed() const {
    if (fd >= 0) {
        SetPosition(fd, start + size);
    }
}

void MessageSource::Rewind() const {
    if (fd >= 0) {
        SetPosition(fd, start);
    }
}

}  // namespace tavorin::cli

#include "cli/Io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Descriptors.h"
#include "base/Files.h"

namespace tavorin::cli {

std::size_t Reader::ReadFull(std::uint8_t* into, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const std::size_t n = Read(into + got, size - got);
        if (n == 0) {
            break;
        }
        got += n;
    }
    return got;
}

std::size_t FdReader::Read(std::uint8_t* into, std::size_t size) {
    const std::ptrdiff_t n = ReadSome(fd_, into, size);
    if (n < 0) {
        ThrowFileError(errno, "reading", PathFromUtf8(name_));
    }
    return static_cast<std::size_t>(n);
}

std::optional<std::uint64_t> FdReader::Remaining() {
    const DescriptorInfo info = Describe(fd_);
    if (info.kind != DescriptorKind::RegularFile) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> at = Position(fd_);
    if (!at) {
        return std::nullopt;
    }
    return info.size > *at ? info.size - *at : 0;
}

std::size_t TextReader::Read(std::uint8_t* into, std::size_t size) {
    const std::size_t n = std::min(size, text_.size() - at_);
    std::memcpy(into, text_.data() + at_, n);
    at_ += n;
    return n;
}

FdWriter::~FdWriter() { Flush(); }

void FdWriter::Put(const char* data, std::size_t size) {
    while (size > 0 && error_ == 0) {
        const std::ptrdiff_t n = WriteSome(fd_, data, size);
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            break;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void FdWriter::Write(const char* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    if (used_ + size > kGathered) {
        Flush();
    }
    if (size >= kGathered) {
        Put(data, size);
        return;
    }
    if (!buffer_) {
        buffer_.reset(new char[kGathered]);  // not filled: only what is written is touched
    }
    std::memcpy(buffer_.get() + used_, data, size);
    used_ += size;
}

void FdWriter::Flush() {
    if (used_ > 0) {
        Put(buffer_.get(), used_);
        used_ = 0;
    }
}

}  // namespace tavorin::cli

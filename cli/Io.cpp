#include "cli/Io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
    for (;;) {
        const ssize_t n = ::read(fd_, into, size);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            ThrowFileError(errno, "reading", name_);
        }
    }
}

std::optional<std::uint64_t> FdReader::Remaining() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(std::max<off_t>(st.st_size - at, 0));
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
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
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

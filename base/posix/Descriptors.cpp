#include "base/Descriptors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace tavorin {

std::ptrdiff_t ReadSome(int fd, void* into, std::size_t size) noexcept {
    for (;;) {
        const ssize_t n = ::read(fd, into, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

std::ptrdiff_t WriteSome(int fd, const void* data, std::size_t size) noexcept {
    for (;;) {
        const ssize_t n = ::write(fd, data, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

std::ptrdiff_t WriteSomeAt(int fd, const void* data, std::size_t size, std::uint64_t offset) noexcept {
    for (;;) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

DescriptorInfo Describe(int fd) noexcept {
    DescriptorInfo info;
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        return info;
    }
    if (S_ISREG(st.st_mode)) {
        info.kind = DescriptorKind::RegularFile;
        info.size = static_cast<std::uint64_t>(st.st_size);
        info.othersMayRead = (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
    } else if (S_ISFIFO(st.st_mode)) {
        info.kind = DescriptorKind::Pipe;
    } else if (S_ISDIR(st.st_mode)) {
        info.kind = DescriptorKind::Directory;
    } else {
        info.kind = DescriptorKind::Other;
    }
    return info;
}

bool IsAppending(int fd) noexcept {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags < 0 || (flags & O_APPEND) != 0;
}

bool IsTerminal(int fd) noexcept { return ::isatty(fd) == 1; }

std::optional<std::uint64_t> Position(int fd) noexcept {
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(at);
}

bool SetPosition(int fd, std::uint64_t position) noexcept {
    return ::lseek(fd, static_cast<off_t>(position), SEEK_SET) >= 0;
}

int OpenForReading(const std::filesystem::path& path) noexcept {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

std::optional<std::filesystem::path> PathOf(int fd) {
    std::filesystem::path path = "/proc/self/fd/" + std::to_string(fd);
    struct stat st {};
    if (fd < 0 || ::stat(path.c_str(), &st) != 0) {
        return std::nullopt;  // no /proc here
    }
    return path;
}

void CloseDescriptor(int fd) noexcept { ::close(fd); }

void EnlargePipe(int fd, std::size_t size) noexcept {
#ifdef F_SETPIPE_SZ
    ::fcntl(fd, F_SETPIPE_SZ, static_cast<int>(size));
#else
    (void)fd, (void)size;
#endif
}

}  // namespace tavorin

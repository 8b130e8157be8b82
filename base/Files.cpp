#include "base/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "base/Failure.h"

namespace tavorin {

void ThrowFileError(int err, const char* action, const std::filesystem::path& path) {
    std::int32_t number = Failure::PathFileAccess;
    const char* kind = "Path/File access error";
    switch (err) {
    case ENOENT: case ENOTDIR:
        number = Failure::FileNotFound, kind = "File not found";
        break;
    case EACCES: case EPERM: case EROFS:
        number = Failure::PermissionDenied, kind = "Permission denied";
        break;
    case ENOSPC: case EDQUOT: case EFBIG:
        number = Failure::DiskFull, kind = "Disk full";
        break;
    case EIO:
        number = Failure::DeviceIO, kind = "Device I/O error";
        break;
    default:
        break;
    }
    throw Failure(number, std::string(kind) + " (" + action + " " + path.string() + ": " +
                              std::strerror(err) + ")");
}

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        ThrowFileError(errno, "opening", path);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int err = errno;
        ::close(fd_);
        ThrowFileError(err, "reading", path);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd_);
        ThrowFileError(EISDIR, "reading", path);
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void InputFile::ReadExact(std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t got = ::read(fd_, data, n);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowFileError(errno, "reading", path_);
        }
        if (got == 0) {
            throw Failure(Failure::PathFileAccess,
                          "Path/File access error (" + path_.string() + " became shorter while it was read)");
        }
        data += got;
        n -= static_cast<std::size_t>(got);
    }
}

AtomicOutputFile::AtomicOutputFile(const std::filesystem::path& destination) : destination_(destination) {
    std::filesystem::path folder = destination.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::string pattern = (folder / ("." + destination.filename().string() + ".tavorin-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
        ThrowFileError(errno, "writing", destination);
    }
    temp_ = name.data();
    // Keep the mode an existing destination had; a new one gets the owner's rights only.
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0) {
        ::fchmod(fd_, st.st_mode & 07777);
    }
}

AtomicOutputFile::~AtomicOutputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_ && !temp_.empty()) {
        ::unlink(temp_.c_str());
    }
}

void AtomicOutputFile::Write(const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t put = ::write(fd_, data, n);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowFileError(errno, "writing", destination_);
        }
        data += put;
        n -= static_cast<std::size_t>(put);
    }
}

void AtomicOutputFile::Commit() {
    if (::fsync(fd_) != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
    if (::rename(temp_.c_str(), destination_.c_str()) != 0) {
        ThrowFileError(errno, "replacing", destination_);
    }
    committed_ = true;
    // Make the rename itself durable.
    std::filesystem::path folder = destination_.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace tavorin

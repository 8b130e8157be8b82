#include "base/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/Failure.h"

namespace tavorin {

namespace {

std::function<int(FileStep)>& FaultHook() {
    static std::function<int(FileStep)> hook;
    return hook;
}

// Runs call, unless the fault hook fails this step: then -1 with errno set, as the call would.
template <class Call>
auto Step(FileStep step, Call call) -> decltype(call()) {
    if (const auto& hook = FaultHook()) {
        if (const int err = hook(step)) {
            errno = err;
            return -1;
        }
    }
    return call();
}

}  // namespace

void SetFileFaultHook(std::function<int(FileStep)> hook) { FaultHook() = std::move(hook); }

void ThrowFileError(int err, const char* action, const std::filesystem::path& path) {
    std::int32_t number = Failure::PathFileAccess;
    const char* kind = "Path/File access error";
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        number = Failure::FileNotFound, kind = "File not found";
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        number = Failure::PermissionDenied, kind = "Permission denied";
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        number = Failure::DiskFull, kind = "Disk full";
        break;
    case EIO:
        number = Failure::DeviceIO, kind = "Device I/O error";
        break;
    default:
        break;
    }
    throw Failure(number, std::string(kind) + " (" + action + " " + path.string() + ": " + std::strerror(err) + ")");
}

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
    // Non-blocking, so that opening a FIFO with no writer cannot hang; reads block again below.
    fd_ =
        Step(FileStep::OpenSource, [&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
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
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw Failure(Failure::PathFileAccess, "Path/File access error (" + path.string() + " is not a regular file)");
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void InputFile::ReadExact(std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t got = Step(FileStep::ReadSource, [&] { return ::read(fd_, data, n); });
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
    // Through a symbolic link, replace the file it names and keep the link.
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(destination, ec))) {
        const std::filesystem::path target = std::filesystem::weakly_canonical(destination, ec);
        if (!ec) {
            destination_ = target;
        }
    }
    // Renaming over a device, FIFO or socket would remove it (as root, even /dev/null).
    struct stat existing {};
    const bool exists = ::stat(destination_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        if (S_ISDIR(existing.st_mode)) {
            ThrowFileError(EISDIR, "writing", destination);
        }
        throw Failure(Failure::PathFileAccess,
                      "Path/File access error (" + destination.string() + " is not a regular file)");
    }
    std::filesystem::path folder = destination_.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    // Built step by step: GCC 12 warns wrongly about overlap on the one-line concatenation.
    std::string hidden = destination_.filename().string();
    hidden.insert(hidden.begin(), '.');
    hidden.append(".tavorin-XXXXXX");
    std::string pattern = (folder / hidden).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = Step(FileStep::CreateTemporary, [&] { return ::mkostemp(name.data(), O_CLOEXEC); });
    if (fd_ < 0) {
        ThrowFileError(errno, "writing", destination);
    }
    temp_ = name.data();
    // Keep the mode an existing destination had; a new one gets the owner's rights only.
    if (exists) {
        ::fchmod(fd_, existing.st_mode & 07777);
    }
}

// Flushes the file with fdatasync each time it is asked, on its own thread, and keeps the
// first error: the kernel reports a write-back error to one flush only, so an error seen
// here must not be lost before Commit.
class AtomicOutputFile::Flusher {
public:
    explicit Flusher(int fd) : fd_(fd), thread_([this] { Loop(); }) {}
    ~Flusher() { Finish(); }

    void Ask() {
        {
            std::lock_guard lock(mutex_);
            ++asked_;
        }
        wake_.notify_one();
    }

    // Waits for a flush under way (one asked for but not begun is left to Commit's own),
    // and returns the first error.
    int Finish() noexcept {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) {
            thread_.join();
        }
        return error_;
    }

private:
    void Loop() {
        std::uint64_t served = 0;
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || asked_ > served; });
            if (stop_) {
                return;
            }
            served = asked_;
            lock.unlock();
            const int err = ::fdatasync(fd_) == 0 ? 0 : errno;
            lock.lock();
            if (err != 0 && error_ == 0) {
                error_ = err;
            }
        }
    }

    int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t asked_ = 0;
    bool stop_ = false;
    int error_ = 0;
    std::thread thread_;  // last: it starts once the rest is ready
};

void AtomicOutputFile::StopFlusher() noexcept {
    if (flusher_) {
        const int err = flusher_->Finish();
        if (flushError_ == 0) {
            flushError_ = err;
        }
        flusher_.reset();
    }
}

AtomicOutputFile::~AtomicOutputFile() {
    StopFlusher();  // before the descriptor it flushes is closed
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_ && !temp_.empty()) {
        ::unlink(temp_.c_str());
    }
}

void AtomicOutputFile::Put(const std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset) {
    while (n > 0) {
        const ssize_t put = Step(FileStep::Write, [&] {
            return offset ? ::pwrite(fd_, data, n, static_cast<off_t>(*offset)) : ::write(fd_, data, n);
        });
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowFileError(errno, "writing", destination_);
        }
        data += put;
        n -= static_cast<std::size_t>(put);
        if (offset) {
            *offset += static_cast<std::uint64_t>(put);
        }
    }
}

void AtomicOutputFile::Write(const std::uint8_t* data, std::size_t n) {
    Put(data, n, std::nullopt);
    written_ += n;
    // Start writing back what is complete, so that the flush at Commit finds little left to
    // do: for a large file it would otherwise wait for all of it at the end. Only a hint;
    // Commit's fsync still reports any error.
    if (written_ - started_ >= kWriteBackStep) {
        ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(written_ - started_),
                          SYNC_FILE_RANGE_WRITE);
        started_ = written_;
    }
    if (written_ - flushAsked_ >= kFlushStep) {
        flushAsked_ = written_;
        if (Step(FileStep::Flush, [] { return 0; }) != 0) {
            if (flushError_ == 0) {
                flushError_ = errno;
            }
        } else {
            try {
                if (!flusher_) {
                    flusher_ = std::make_unique<Flusher>(fd_);
                }
                flusher_->Ask();
            } catch (const std::system_error&) {
                // No thread to be had: Commit's flush does all of it.
            }
        }
    }
}

void AtomicOutputFile::WriteAt(const std::uint8_t* data, std::size_t n, std::uint64_t offset) { Put(data, n, offset); }

void AtomicOutputFile::Commit() {
    StopFlusher();
    if (flushError_ != 0) {
        ThrowFileError(flushError_, "writing", destination_);
    }
    if (Step(FileStep::Sync, [&] { return ::fsync(fd_); }) != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
    const int fd = fd_;
    fd_ = -1;
    const int closed = ::close(fd);  // closed whatever the seam says, so no descriptor leaks
    if (Step(FileStep::Close, [&] { return closed; }) != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
    if (Step(FileStep::Rename, [&] { return ::rename(temp_.c_str(), destination_.c_str()); }) != 0) {
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

}  // namespace tavorin

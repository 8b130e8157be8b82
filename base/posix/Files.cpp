// The POSIX side of base/Files.h: where files are opened, made and named.
#include "base/Files.h"

#include <fcntl.h>
#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/Failure.h"
#include "base/FileSteps.h"
#include "base/FilesImpl.h"

namespace tavorin {

namespace {

// A named temporary file's path for the signal handler, and whether it holds one.
struct TemporarySlot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};

// Named temporary files for the signal handler to remove: a fixed table, since the handler
// may neither allocate nor lock.
class NamedTemporaries {
public:
    static constexpr std::array<int, 4> kSignals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};

    // A slot holding path, or -1 when all are taken (the file then lacks this guard).
    static int Add(const std::string& path) noexcept {
        if (path.size() >= PATH_MAX) {
            return -1;
        }
        for (std::size_t i = 0; i < kSlots; ++i) {
            int expected = kFree;
            if (slots_[i].state.compare_exchange_strong(expected, kFilling)) {
                std::memcpy(slots_[i].path, path.c_str(), path.size() + 1);
                slots_[i].state.store(kHeld);
                Guard();
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // Once the file is named or removed.
    static void Drop(int slot) noexcept {
        if (slot >= 0) {
            slots_[static_cast<std::size_t>(slot)].state.store(kFree);
        }
    }

private:
    static constexpr std::size_t kSlots = 16;
    static constexpr int kFree = 0, kFilling = 1, kHeld = 2;
    static inline std::array<TemporarySlot, kSlots> slots_{};
    static inline std::array<struct sigaction, kSignals.size()> previous_{};

    // Installs the handler for each signal that is not ignored, unless it is there already
    // (someone may have set their own since).
    static void Guard() noexcept {
        static std::mutex mutex;
        std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            struct sigaction current {};
            ::sigaction(kSignals[i], nullptr, &current);
            if (current.sa_handler == SIG_IGN || current.sa_handler == &Remove) {
                continue;
            }
            previous_[i] = current;
            struct sigaction mine {};
            mine.sa_handler = &Remove;
            sigemptyset(&mine.sa_mask);
            ::sigaction(kSignals[i], &mine, nullptr);
        }
    }

    // Removes the files, then gives the signal to whoever had it before (by default, the
    // end of the process): it is raised again and arrives once this handler returns.
    static void Remove(int sig) {
        const int savedErrno = errno;
        for (TemporarySlot& slot : slots_) {
            if (slot.state.load() == kHeld) {
                ::unlink(slot.path);
            }
        }
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            if (kSignals[i] == sig) {
                ::sigaction(sig, &previous_[i], nullptr);
            }
        }
        ::raise(sig);
        errno = savedErrno;
    }
};

}  // namespace

namespace {

// Whether this process may link a descriptor to a name (AT_EMPTY_PATH), which takes
// CAP_DAC_READ_SEARCH.
bool MayLinkDescriptors() noexcept {
#ifdef __linux__
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> data{};
    if (::syscall(SYS_capget, &header, data.data()) != 0) {
        return false;
    }
    return (data[CAP_DAC_READ_SEARCH / 32].effective & (1u << (CAP_DAC_READ_SEARCH % 32))) != 0;
#else
    return false;
#endif
}

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) : impl_(std::make_unique<Impl>()) {
    impl_->path = path;
    int& fd_ = impl_->fd;
    // Non-blocking, so that opening a FIFO with no writer cannot hang; reads block again below.
    fd_ =
        Step(FileStep::OpenSource, [&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
    if (fd_ < 0) {
        ThrowFileError(errno, "opening", path);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int err = errno;
        ::close(std::exchange(fd_, -1));
        ThrowFileError(err, "reading", path);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(std::exchange(fd_, -1));
        ThrowFileError(EISDIR, "reading", path);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(std::exchange(fd_, -1));
        ThrowFileProblem(path, "not a regular file");
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::InputFile(int fd, std::filesystem::path name) : impl_(std::make_unique<Impl>()) {
    impl_->path = std::move(name);
    impl_->fd = fd;
    impl_->owned = false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ThrowFileError(errno, "reading", impl_->path);
    }
    if (!S_ISREG(st.st_mode)) {
        ThrowFileProblem(impl_->path, "not a regular file");
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() {
    if (impl_->fd >= 0 && impl_->owned) {
        ::close(impl_->fd);
    }
}

std::ptrdiff_t ReadSome(int fd, std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset) noexcept {
    return offset ? ::pread(fd, data, n, static_cast<off_t>(*offset)) : ::read(fd, data, n);
}

std::ptrdiff_t WriteSome(int fd, const std::uint8_t* data, std::size_t n,
                         std::optional<std::uint64_t> offset) noexcept {
    return offset ? ::pwrite(fd, data, n, static_cast<off_t>(*offset)) : ::write(fd, data, n);
}

int FlushData(int fd) noexcept { return ::fdatasync(fd) == 0 ? 0 : errno; }

void StartWriteBack(int fd, std::uint64_t offset, std::uint64_t n) noexcept {
#ifdef __linux__  // Linux's own call; WebAssembly has no disk to write back to
    ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
#else
    (void)fd, (void)offset, (void)n;
#endif
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) noexcept {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

namespace {

// Unnamed where the system allows, else under a hidden name that signals remove.
class PosixFile final : public FileBeingMade {
public:
    PosixFile(const std::filesystem::path& destination, OutputPolicy policy);
    ~PosixFile() override;

private:
    void Name() override;
    // Give the complete file the destination's name, from the unnamed file or from the
    // named temporary one.
    void NameUnnamed();
    void NameTemporary();
    int CloseFile();
    // The hidden name beside the destination with this suffix.
    std::string HiddenName(std::string_view suffix) const;

    std::filesystem::path folder_;
    std::filesystem::path temp_;  // the named temporary file, when there is one
    int guard_ = -1;              // its slot for the signal handler
    bool existed_ = false;
    unsigned mode_ = 0;            // the named file's
    bool linkDescriptor_ = false;  // the unnamed file is named through its descriptor, not /proc
};

}  // namespace

ScratchFile::ScratchFile(const std::filesystem::path& nearby) {
    if (!nearby.empty()) {
        fd_ = ::open(nearby.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd_ >= 0) {
            return;
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd_ < 0) {
        // No unnamed files there: a named one, unlinked at once.
        std::string pattern = folder + "/tavorin-XXXXXX";
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ < 0) {
            ThrowFileError(errno, "writing", folder);
        }
        ::unlink(pattern.c_str());
    }
}

ScratchFile::~ScratchFile() { ::close(fd_); }

std::filesystem::path ScratchFile::Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

std::unique_ptr<FileBeingMade> FileBeingMade::Open(const std::filesystem::path& destination, OutputPolicy policy) {
    return std::make_unique<PosixFile>(destination, policy);
}

PosixFile::PosixFile(const std::filesystem::path& destination, OutputPolicy policy)
    : FileBeingMade(destination, policy) {
    if (policy_.stream >= 0) {
        return;
    }
    // Renaming over a device, FIFO or socket would remove it (as root, even /dev/null).
    struct stat existing {};
    existed_ = ::stat(destination_.c_str(), &existing) == 0;
    if (existed_ && !S_ISREG(existing.st_mode)) {
        if (S_ISDIR(existing.st_mode)) {
            ThrowFileError(EISDIR, "writing", destination);
        }
        ThrowFileProblem(destination, "not a regular file");
    }
    if (existed_ && !policy_.replace) {
        ThrowFileError(EEXIST, "writing", destination);
    }
    folder_ = destination_.parent_path();
    if (folder_.empty()) {
        folder_ = ".";
    }
    // Unnamed, a file left by a killed process vanishes with it. Naming it goes through
    // /proc, since linking the descriptor itself needs a privilege; where /proc is missing,
    // a process that holds that privilege (root, as a rule) links the descriptor.
    fd_ = Step(FileStep::CreateTemporary,
               [&] { return ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR); });
    const int err = errno;
    if (fd_ >= 0 && ::access(("/proc/self/fd/" + std::to_string(fd_)).c_str(), F_OK) != 0) {
        linkDescriptor_ = MayLinkDescriptors();
        if (!linkDescriptor_) {
            ::close(fd_);
            fd_ = -1;
        }
    } else if (fd_ < 0 && err != EOPNOTSUPP && err != EISDIR && err != EINVAL) {
        ThrowFileError(err, "writing", destination);
    }
    if (fd_ < 0) {
        std::string pattern = (folder_ / HiddenName("XXXXXX")).string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        fd_ = Step(FileStep::CreateTemporary, [&] { return ::mkostemp(name.data(), O_CLOEXEC); });
        if (fd_ < 0) {
            ThrowFileError(errno, "writing", destination);
        }
        temp_ = name.data();
        guard_ = NamedTemporaries::Add(temp_.string());
    }
    mode_ = existed_ ? existing.st_mode & 07777 : S_IRUSR | S_IWUSR;
}

std::string PosixFile::HiddenName(std::string_view suffix) const {
    // Built step by step: GCC 12 warns wrongly about overlap on the one-line concatenation.
    std::string hidden = destination_.filename().string();
    hidden.insert(hidden.begin(), '.');
    hidden.append(".tavorin-");
    hidden.append(suffix);
    return hidden;
}

PosixFile::~PosixFile() {
    StopFlushing();  // before the descriptor it flushes is closed
    if (policy_.stream >= 0) {
        return;  // not ours to close
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_ && !temp_.empty()) {
        ::unlink(temp_.c_str());
    }
    NamedTemporaries::Drop(guard_);
}

void PosixFile::Name() {
    // Keep the mode an existing destination had; a new one, and the named temporary file
    // until now, has the owner's rights only.
    if (mode_ != (S_IRUSR | S_IWUSR)) {
        ::fchmod(fd_, mode_);
    }
    if (Step(FileStep::Sync, [&] { return ::fsync(fd_); }) != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
    if (temp_.empty()) {
        NameUnnamed();
    } else {
        NameTemporary();
    }
    committed_ = true;
    // Make the name itself durable.
    const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// Closes the descriptor whatever the seam says, so that none leaks; -1 with errno on failure.
int PosixFile::CloseFile() {
    const int fd = fd_;
    fd_ = -1;
    const int closed = ::close(fd);
    return Step(FileStep::Close, [&] { return closed; });
}

void PosixFile::NameUnnamed() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    const auto link = [&](const std::filesystem::path& name) {
        return Step(FileStep::Link, [&] {
            return linkDescriptor_ ? ::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH)
                                   : ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
        });
    };
    // A new destination is named straight: linking never replaces, so a file that appeared
    // meanwhile is refused, not lost.
    std::filesystem::path named;
    if (!existed_) {
        if (link(destination_) == 0) {
            named = destination_;
        } else if (errno != EEXIST || !policy_.replace) {
            ThrowFileError(errno, "writing", destination_);
        }
    }
    // Replacing takes a name nobody has, then the destination's in one rename. Only a kill
    // in between leaves the complete file under that name; a signal removes it.
    if (named.empty()) {
        static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        thread_local std::minstd_rand pick(std::random_device{}());
        for (int tries = 0;; ++tries) {
            std::string suffix(6, ' ');
            for (char& c : suffix) {
                c = kLetters[pick() % (sizeof kLetters - 1)];
            }
            if (link(folder_ / HiddenName(suffix)) == 0) {
                temp_ = folder_ / HiddenName(suffix);
                guard_ = NamedTemporaries::Add(temp_.string());
                break;
            }
            if (errno != EEXIST || tries == 100) {
                ThrowFileError(errno, "writing", destination_);
            }
        }
    }
    if (CloseFile() != 0) {
        const int err = errno;
        ::unlink((named.empty() ? temp_ : named).c_str());
        ThrowFileError(err, "writing", destination_);
    }
    if (named.empty() && Step(FileStep::Rename, [&] { return ::rename(temp_.c_str(), destination_.c_str()); }) != 0) {
        ThrowFileError(errno, "replacing", destination_);  // the destructor removes temp_
    }
}

void PosixFile::NameTemporary() {
    if (CloseFile() != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
    if (policy_.replace) {
        if (Step(FileStep::Rename, [&] { return ::rename(temp_.c_str(), destination_.c_str()); }) != 0) {
            ThrowFileError(errno, "replacing", destination_);
        }
        return;
    }
    int named = Step(FileStep::Rename, [&] {
#ifdef RENAME_NOREPLACE
        return ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, destination_.c_str(), RENAME_NOREPLACE);
#else
        errno = ENOSYS;  // no such call (WebAssembly): the link below does the same
        return -1;
#endif
    });
    if (named != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the flag: a hard link never replaces either.
        named = ::link(temp_.c_str(), destination_.c_str());
        if (named == 0) {
            ::unlink(temp_.c_str());
        }
    }
    if (named != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
}

void FailStep(int err) noexcept { errno = err; }

}  // namespace tavorin

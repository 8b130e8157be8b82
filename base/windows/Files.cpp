// The Windows side of base/Files.h. A new file is made beside its destination under a hidden
// name and marked for deletion at once, so that the system removes it when its last handle
// closes, however the process ends (Ctrl-C, a kill, a crash); once complete and flushed it is
// unmarked and renamed into place in one step, never over an existing file unless replacing
// was asked for.
#include "base/Files.h"

#include <windows.h>
// After windows.h:
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/Failure.h"
#include "base/FileSteps.h"
#include "base/FilesImpl.h"
#include "base/Random.h"
#include "base/windows/Errors.h"

namespace tavorin {

using windows::FailWithLastError;

namespace {

HANDLE HandleOf(int fd) noexcept { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// A handle of ours behind a C runtime descriptor, which the rest of the program speaks of.
// No flags: binary (no _O_TEXT), and not inherited, as the handle is not.
int Adopt(HANDLE handle) noexcept {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

bool IsFolder(const std::filesystem::path& path) noexcept {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A BOOL call as a POSIX one: 0, or -1 with errno.
int Posix(BOOL ok) noexcept { return ok ? 0 : FailWithLastError(); }

// Moves up to n bytes at offset or, without one, at the position: the bytes moved, or -1 with
// errno. A transfer at an offset moves a synchronous handle's position as well; the commands
// never mix the two kinds on one file.
template <class Transfer>
std::ptrdiff_t MoveSome(int fd, std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset,
                        Transfer transfer) noexcept {
    OVERLAPPED at{};
    if (offset) {
        at.Offset = static_cast<DWORD>(*offset);
        at.OffsetHigh = static_cast<DWORD>(*offset >> 32);
    }
    DWORD done = 0;
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(n, std::size_t{1} << 30));
    if (!transfer(HandleOf(fd), data, ask, &done, offset ? &at : nullptr)) {
        if (GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        return FailWithLastError();
    }
    return static_cast<std::ptrdiff_t>(done);
}

BOOL ReadInto(HANDLE h, std::uint8_t* data, DWORD n, DWORD* done, OVERLAPPED* at) {
    return ReadFile(h, data, n, done, at);
}
BOOL WriteFrom(HANDLE h, std::uint8_t* data, DWORD n, DWORD* done, OVERLAPPED* at) {
    return WriteFile(h, data, n, done, at);
}

int MarkForDeletion(HANDLE handle, bool deleted) noexcept {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleted ? TRUE : FALSE;
    return Posix(SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition));
}

// Names the open file `to`, replacing a file there only when asked. A refusal while another
// program (a virus scanner, an indexer, a backup) holds the file for a moment is tried again
// for about a second before it counts.
int RenameHandle(HANDLE handle, const std::filesystem::path& to, bool replace) noexcept {
    const std::wstring name = to.wstring();
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + (name.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    // Replacing a file that some program still holds open (with FILE_SHARE_DELETE, as this
    // program's own reading of a source it replaces) takes the POSIX form of rename, which
    // Windows 10 1709 has on NTFS; elsewhere (older Windows, FAT, wine) the classic one.
    constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);  // FileRenameInfoEx
    constexpr DWORD kReplace = 0x1, kPosix = 0x2;                               // FILE_RENAME_FLAG_*
    bool posix = replace;
    for (int tries = 0;; ++tries) {
        const int renamed = Step(FileStep::Rename, [&] {
            if (posix) {
                // Flags share the place of ReplaceIfExists (a union in Windows 10's headers).
                const DWORD flags = kReplace | kPosix;
                std::memcpy(info, &flags, sizeof flags);
                if (SetFileInformationByHandle(handle, kRenameInfoEx, info, static_cast<DWORD>(buffer.size()))) {
                    return 0;
                }
                const DWORD error = GetLastError();
                if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
                    error != ERROR_INVALID_FUNCTION) {
                    return FailWithLastError();
                }
                posix = false;
                const DWORD classic = 0;
                std::memcpy(info, &classic, sizeof classic);
                info->ReplaceIfExists = TRUE;
            }
            return Posix(SetFileInformationByHandle(handle, FileRenameInfo, info, static_cast<DWORD>(buffer.size())));
        });
        if (renamed == 0 || errno != EACCES || tries == 20) {
            return renamed;
        }
        Sleep(50);
    }
}

// The file's identity on its volume: ReFS needs the 128-bit id of FileIdInfo; where the system
// does not give that, the volume serial number and the 64-bit index.
bool FileIdentity(const std::filesystem::path& path, FILE_ID_INFO& id) noexcept {
    const HANDLE handle =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    id = FILE_ID_INFO{};
    bool known = GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id) != 0;
    if (!known) {
        BY_HANDLE_FILE_INFORMATION file{};
        known = GetFileInformationByHandle(handle, &file) != 0;
        id.VolumeSerialNumber = file.dwVolumeSerialNumber;
        const std::uint64_t index = (static_cast<std::uint64_t>(file.nFileIndexHigh) << 32) | file.nFileIndexLow;
        std::memcpy(id.FileId.Identifier, &index, sizeof index);
    }
    CloseHandle(handle);
    return known;
}

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) : impl_(std::make_unique<Impl>()) {
    impl_->path = path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    // Others may go on reading, writing or renaming it: a file that shrinks is caught below.
    const int opened = Step(FileStep::OpenSource, [&] {
        handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        return handle != INVALID_HANDLE_VALUE ? 0 : FailWithLastError();
    });
    if (opened != 0) {
        // A folder cannot be opened as a file at all.
        ThrowFileError(errno == EACCES && IsFolder(path) ? EISDIR : errno, "opening", path);
    }
    // A device (CON, NUL, a pipe) has no length to frame and could block forever.
    LARGE_INTEGER size{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) {
        CloseHandle(handle);
        ThrowFileProblem(path, "not a regular file");
    }
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    impl_->fd = Adopt(handle);
    if (impl_->fd < 0) {
        ThrowFileError(errno, "opening", path);
    }
}

InputFile::InputFile(int fd, std::filesystem::path name) : impl_(std::make_unique<Impl>()) {
    impl_->path = std::move(name);
    impl_->fd = fd;
    impl_->owned = false;
    LARGE_INTEGER size{};
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) {
        ThrowFileProblem(impl_->path, "not a regular file");
    }
    size_ = static_cast<std::uint64_t>(size.QuadPart);
}

InputFile::~InputFile() {
    if (impl_->fd >= 0 && impl_->owned) {
        _close(impl_->fd);
    }
}

std::ptrdiff_t ReadSome(int fd, std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset) noexcept {
    return MoveSome(fd, data, n, offset, ReadInto);
}

std::ptrdiff_t WriteSome(int fd, const std::uint8_t* data, std::size_t n,
                         std::optional<std::uint64_t> offset) noexcept {
    // WriteFile's buffer is not written to.
    return MoveSome(fd, const_cast<std::uint8_t*>(data), n, offset, WriteFrom);
}

int FlushData(int fd) noexcept { return Posix(FlushFileBuffers(HandleOf(fd))) == 0 ? 0 : errno; }

// Windows starts writing back on its own.
void StartWriteBack(int fd, std::uint64_t offset, std::uint64_t n) noexcept { (void)fd, (void)offset, (void)n; }

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) noexcept {
    FILE_ID_INFO ia{}, ib{};
    return FileIdentity(a, ia) && FileIdentity(b, ib) && ia.VolumeSerialNumber == ib.VolumeSerialNumber &&
           std::memcmp(ia.FileId.Identifier, ib.FileId.Identifier, sizeof ia.FileId.Identifier) == 0;
}

// In the user's temporary folder, deleted by the system when its last handle closes, however
// the process ends.
ScratchFile::ScratchFile(const std::filesystem::path& nearby) {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    std::filesystem::path base = n > 0 && n <= MAX_PATH ? std::filesystem::path(folder) : ".";
    if (!nearby.empty() && IsFolder(nearby)) {
        base = nearby;
    }
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int tries = 0;; ++tries) {
        unsigned char random[8] = {};
        SystemRandom(random, sizeof random);
        std::wstring name = L"tavorin-";
        for (unsigned char r : random) {
            name.push_back(static_cast<wchar_t>(kLetters[r % (sizeof kLetters - 1)]));
        }
        // Deleted on close, not marked for deletion: a file marked so cannot be opened again,
        // and Path() opens it for reading (sharing deletion, as InputFile does).
        const HANDLE handle = CreateFileW(
            (base / name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            path_ = base / name;
            fd_ = Adopt(handle);
            if (fd_ < 0) {
                ThrowFileError(errno, "writing", base);
            }
            return;
        }
        FailWithLastError();
        if (errno != EEXIST || tries == 100) {
            ThrowFileError(errno, "writing", base);
        }
    }
}

ScratchFile::~ScratchFile() {
    if (fd_ >= 0) {
        _close(fd_);
    }
}

std::filesystem::path ScratchFile::Path() const { return path_; }

namespace {

// Made under a hidden name and marked for deletion until it is complete.
class MarkedFile final : public FileBeingMade {
public:
    MarkedFile(const std::filesystem::path& destination, OutputPolicy policy);
    ~MarkedFile() override;

private:
    void Name() override;
};

}  // namespace

std::unique_ptr<FileBeingMade> FileBeingMade::Open(const std::filesystem::path& destination, OutputPolicy policy) {
    return std::make_unique<MarkedFile>(destination, policy);
}

MarkedFile::MarkedFile(const std::filesystem::path& destination, OutputPolicy policy)
    : FileBeingMade(destination, policy) {
    if (policy_.stream >= 0) {
        return;
    }
    std::error_code ec;
    // The rename below takes a whole path.
    if (const std::filesystem::path whole = std::filesystem::absolute(destination_, ec); !ec) {
        destination_ = whole;
    }
    const DWORD attributes = GetFileAttributesW(destination_.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (existed && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ThrowFileError(EISDIR, "writing", destination);
    }
    if (existed) {
        // A device's name (NUL, COM1) is not a file to replace.
        const HANDLE there =
            CreateFileW(destination_.c_str(), FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        const bool disk = there == INVALID_HANDLE_VALUE || GetFileType(there) == FILE_TYPE_DISK;
        if (there != INVALID_HANDLE_VALUE) {
            CloseHandle(there);
        }
        if (!disk) {
            ThrowFileProblem(destination, "not a regular file");
        }
        if (!policy_.replace) {
            ThrowFileError(EEXIST, "writing", destination);
        }
    }
    const std::filesystem::path folder = destination_.parent_path();
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int tries = 0;; ++tries) {
        unsigned char random[6] = {};
        SystemRandom(random, sizeof random);
        std::wstring hidden = L"." + destination_.filename().wstring() + L".tavorin-";
        for (unsigned char r : random) {
            hidden.push_back(static_cast<wchar_t>(kLetters[r % (sizeof kLetters - 1)]));
        }
        const std::filesystem::path temporary = folder / hidden;
        // Shared with nobody while it is made; DELETE, to mark it and to rename it.
        const int made = Step(FileStep::CreateTemporary, [&] {
            handle = CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_HIDDEN, nullptr);
            return handle != INVALID_HANDLE_VALUE ? 0 : FailWithLastError();
        });
        if (made == 0) {
            break;
        }
        if (errno != EEXIST || tries == 100) {
            ThrowFileError(errno, "writing", destination);
        }
    }
    // Gone with the last handle, whatever ends the process, until Commit unmarks it.
    if (MarkForDeletion(handle, true) != 0) {
        const int err = errno;
        CloseHandle(handle);
        ThrowFileError(err, "writing", destination);
    }
    fd_ = Adopt(handle);
    if (fd_ < 0) {
        ThrowFileError(errno, "writing", destination);
    }
}

MarkedFile::~MarkedFile() {
    StopFlushing();  // before the handle it flushes is closed
    if (policy_.stream < 0 && fd_ >= 0) {
        // Marked again, should Commit have failed after unmarking it: closing removes it.
        if (!committed_) {
            MarkForDeletion(HandleOf(fd_), true);
        }
        _close(fd_);
    }
}

// Unmarks the complete file and gives it the destination's name in one rename: without
// replacing, a file that appeared there meanwhile is refused, not lost. Only a kill between
// the two steps leaves the complete file under its hidden name.
void MarkedFile::Name() {
    const HANDLE handle = HandleOf(fd_);
    if (Step(FileStep::Sync, [&] { return Posix(FlushFileBuffers(handle)); }) != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    if (MarkForDeletion(handle, false) != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
    if (RenameHandle(handle, destination_, policy_.replace) != 0) {
        const int err = errno;
        MarkForDeletion(handle, true);
        ThrowFileError(err, policy_.replace ? "replacing" : "writing", destination_);
    }
    committed_ = true;
    // The file is complete and named; a close that fails has lost nothing, but is told.
    const int fd = std::exchange(fd_, -1);
    const int closed = _close(fd) == 0 ? 0 : -1;
    if (Step(FileStep::Close, [&] { return closed; }) != 0) {
        ThrowFileError(errno, "writing", destination_);
    }
}

void FailStep(int err) noexcept {
    SetLastError(static_cast<DWORD>(err));
    FailWithLastError();
}

}  // namespace tavorin

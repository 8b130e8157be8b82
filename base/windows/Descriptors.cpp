// The Windows side of base/Descriptors.h: the C runtime's descriptors (binary mode), read and
// written through their HANDLEs, so that no byte is translated on the way.
#include "base/Descriptors.h"

#include <windows.h>
// After windows.h:
#include <io.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "base/windows/Errors.h"

namespace tavorin {

using windows::FailWithLastError;

namespace {

HANDLE HandleOf(int fd) noexcept {
    const HANDLE handle = fd >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(fd)) : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        errno = EBADF;
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

// One call moves at most this much; a pipe or console takes less.
constexpr std::size_t kMostAtOnce = std::size_t{1} << 30;

bool IsConsole(HANDLE handle) noexcept {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

// The same, asked of the system only once for each standard stream: every read and write asks,
// and the answer costs a call to the console host (or to wine's server).
bool IsConsole(int fd, HANDLE handle) noexcept {
    static std::atomic<signed char> known[3] = {-1, -1, -1};
    if (fd < 0 || fd > 2) {
        return IsConsole(handle);
    }
    signed char console = known[fd].load(std::memory_order_relaxed);
    if (console < 0) {
        console = IsConsole(handle) ? 1 : 0;
        known[fd].store(console, std::memory_order_relaxed);
    }
    return console != 0;
}

// Text for a console: a console shows bytes in its own code page (the OEM one, which holds few
// letters beyond English), so the UTF-8 the program writes goes out as UTF-16, and each line
// ends in CR LF. Only whole characters are taken; a character cut at the end of the bytes is
// left for the next call. The bytes taken, or -1.
std::ptrdiff_t WriteConsoleText(HANDLE console, const void* data, std::size_t size) noexcept {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t whole = std::min<std::size_t>(size, std::size_t{1} << 16);
    // The last character's first byte, and whether all of it is here.
    std::size_t lead = whole;
    while (lead > 0 && whole - lead < 3 && (bytes[lead - 1] & 0xC0) == 0x80) {
        --lead;
    }
    if (lead > 1) {
        const unsigned char b = bytes[lead - 1];
        const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (whole - (lead - 1) < length) {
            whole = lead - 1;
        }
    }
    std::wstring text;
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(whole), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(whole), wide.data(), n);
    for (wchar_t c : wide) {
        if (c == L'\n') {
            text.push_back(L'\r');
        }
        text.push_back(c);
    }
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        return FailWithLastError();
    }
    return static_cast<std::ptrdiff_t>(whole);
}

// A line typed on the console, as UTF-8: ReadFile would hand it over in the OEM code page.
// Ctrl-Z at the start of a line ends the input, as it does for ReadFile.
std::ptrdiff_t ReadConsoleText(HANDLE console, void* into, std::size_t size) noexcept {
    // What is left of a line longer than the caller's buffer, for the next call.
    static thread_local std::string pending;
    if (pending.empty()) {
        wchar_t line[4096];
        DWORD got = 0;
        if (!ReadConsoleW(console, line, 4096, &got, nullptr)) {
            return FailWithLastError();
        }
        if (got == 0 || line[0] == 0x1A) {
            return 0;
        }
        std::wstring text(line, got);
        SecureZeroMemory(line, sizeof line);
        // Line ends as the rest of the program knows them.
        std::wstring plain;
        for (wchar_t c : text) {
            if (c == 0x1A) {
                break;
            }
            if (c != L'\r') {
                plain.push_back(c);
            }
        }
        SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, plain.data(), static_cast<int>(plain.size()), nullptr, 0, nullptr, nullptr);
        pending.assign(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, plain.data(), static_cast<int>(plain.size()), pending.data(), n, nullptr,
                            nullptr);
        SecureZeroMemory(plain.data(), plain.size() * sizeof(wchar_t));
        if (pending.empty()) {
            return 0;
        }
    }
    const std::size_t n = std::min(size, pending.size());
    std::memcpy(into, pending.data(), n);
    SecureZeroMemory(pending.data(), n);
    pending.erase(0, n);
    return static_cast<std::ptrdiff_t>(n);
}

}  // namespace

std::ptrdiff_t ReadSome(int fd, void* into, std::size_t size) noexcept {
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    if (IsConsole(fd, handle)) {
        return ReadConsoleText(handle, into, size);
    }
    DWORD got = 0;
    if (!ReadFile(handle, into, static_cast<DWORD>(std::min(size, kMostAtOnce)), &got, nullptr)) {
        // The writer of a pipe closed it: the end, as on POSIX.
        if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        return FailWithLastError();
    }
    return static_cast<std::ptrdiff_t>(got);
}

std::ptrdiff_t WriteSome(int fd, const void* data, std::size_t size) noexcept {
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    if (IsConsole(fd, handle)) {
        return WriteConsoleText(handle, data, size);
    }
    DWORD put = 0;
    if (!WriteFile(handle, data, static_cast<DWORD>(std::min(size, kMostAtOnce)), &put, nullptr)) {
        return FailWithLastError();
    }
    if (put == 0 && size != 0) {
        errno = EIO;
        return -1;
    }
    return static_cast<std::ptrdiff_t>(put);
}

std::ptrdiff_t WriteSomeAt(int fd, const void* data, std::size_t size, std::uint64_t offset) noexcept {
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    // A write at an offset moves a synchronous handle's position: it is put back.
    LARGE_INTEGER before{};
    const bool known = SetFilePointerEx(handle, LARGE_INTEGER{}, &before, FILE_CURRENT) != 0;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    const BOOL ok = WriteFile(handle, data, static_cast<DWORD>(std::min(size, kMostAtOnce)), &put, &at);
    const DWORD error = GetLastError();
    if (known) {
        SetFilePointerEx(handle, before, nullptr, FILE_BEGIN);
    }
    if (!ok) {
        SetLastError(error);
        return FailWithLastError();
    }
    return static_cast<std::ptrdiff_t>(put);
}

DescriptorInfo Describe(int fd) noexcept {
    DescriptorInfo info;
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE) {
        return info;
    }
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK: {
        // FileStandardInfo, not GetFileInformationByHandle: wine refuses the latter for a
        // standard handle that stands for a file of the host (cmd < file), and without a size
        // a large input would be gathered as from a pipe, in a buffer grown by copying.
        FILE_STANDARD_INFO file{};
        if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &file, sizeof file)) {
            FailWithLastError();
            return info;
        }
        if (file.Directory) {
            info.kind = DescriptorKind::Directory;
        } else {
            info.kind = DescriptorKind::RegularFile;
            info.size = static_cast<std::uint64_t>(file.EndOfFile.QuadPart);
            // Who may read it is a matter of its access list, which a file made in the user's
            // own folders inherits from them; nothing here to warn of.
            info.othersMayRead = false;
        }
        break;
    }
    case FILE_TYPE_PIPE:
        info.kind = DescriptorKind::Pipe;
        break;
    default:  // a console, NUL, a serial port
        info.kind = DescriptorKind::Other;
        break;
    }
    return info;
}

// A handle opened for appending only (FILE_APPEND_DATA without FILE_WRITE_DATA, as PowerShell's
// >> opens one) writes nowhere but at the end. cmd's >> and the C runtime's O_APPEND only set
// the position, which writes at offsets from there respect.
bool IsAppending(int fd) noexcept {
    const HANDLE handle = HandleOf(fd);
    PUBLIC_OBJECT_BASIC_INFORMATION info{};
    ULONG length = 0;
    if (handle == INVALID_HANDLE_VALUE ||
        NtQueryObject(handle, ObjectBasicInformation, &info, sizeof info, &length) < 0) {
        return true;
    }
    return (info.GrantedAccess & FILE_WRITE_DATA) == 0;
}

// A console, not merely a character device (NUL is one too, and _isatty says yes to it).
bool IsTerminal(int fd) noexcept {
    const HANDLE handle = HandleOf(fd);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::optional<std::uint64_t> Position(int fd) noexcept {
    const HANDLE handle = HandleOf(fd);
    LARGE_INTEGER at{};
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !SetFilePointerEx(handle, LARGE_INTEGER{}, &at, FILE_CURRENT)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(at.QuadPart);
}

bool SetPosition(int fd, std::uint64_t position) noexcept {
    const HANDLE handle = HandleOf(fd);
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(position);
    return handle != INVALID_HANDLE_VALUE && SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != 0;
}

int OpenForReading(const std::filesystem::path& path) noexcept {
    // Others may go on using the file meanwhile. A handle is not inherited unless asked for.
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        // A folder cannot be opened as a file at all.
        if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            errno = EISDIR;
            return -1;
        }
        SetLastError(error);
        return FailWithLastError();
    }
    // No flags: binary (no _O_TEXT), and not inherited, as the handle is not.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

// Wine will not tell for a standard handle that stands for a file of the host: such input is
// copied as a pipe's is.
std::optional<std::filesystem::path> PathOf(int fd) {
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::wstring name(MAX_PATH, L'\0');
    for (int tries = 0; tries < 2; ++tries) {
        const DWORD n = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) {
            return std::nullopt;
        }
        if (n < name.size()) {
            name.resize(n);
            return std::filesystem::path(name);
        }
        name.assign(n, L'\0');
    }
    return std::nullopt;
}

void CloseDescriptor(int fd) noexcept { _close(fd); }

// A pipe's size is chosen by whoever made it.
void EnlargePipe(int fd, std::size_t size) noexcept { (void)fd, (void)size; }

}  // namespace tavorin

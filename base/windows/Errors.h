#pragma once
// For the Windows units of the platform layer only: the system's errors in the POSIX numbers
// that the rest of base/ words (ThrowFileError).

#include <windows.h>

#include <cerrno>

namespace tavorin::windows {

inline int ErrnoOf(DWORD error) noexcept {
    switch (error) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:  // another program holds it open
    case ERROR_LOCK_VIOLATION:
    case ERROR_DELETE_PENDING:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIRECTORY:
        return EISDIR;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:  // a failing device, a lost network share
        return EIO;
    }
}

// The last error as errno; -1 to return from a call that failed.
inline int FailWithLastError() noexcept {
    errno = ErrnoOf(GetLastError());
    return -1;
}

}  // namespace tavorin::windows

// What the file operations share on every system: the fault hook, and errors in the file
// error numbers (base/Files.h). The files themselves are the platform's: base/posix/Files.cpp.
#include "base/Files.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "base/FileSteps.h"

namespace tavorin {

std::function<int(FileStep)>& FaultHook() {
    static std::function<int(FileStep)> hook;
    return hook;
}

std::mutex& FaultHookLock() {
    static std::mutex lock;
    return lock;
}

void SetFileFaultHook(std::function<int(FileStep)> hook) {
    std::lock_guard lock(FaultHookLock());
    FaultHook() = std::move(hook);
}

void ThrowFileError(int err, const char* action, const std::filesystem::path& path) {
    std::int32_t number = Failure::PathFileAccess;
    const char* kind = "Path/File access error";
    std::string reason = std::strerror(err);
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        number = Failure::FileNotFound, kind = "File not found", reason = "no such file";
        break;
    case EACCES:
    case EPERM:
        number = Failure::PermissionDenied, kind = "Permission denied", reason = "permission denied";
        break;
    case EROFS:
        number = Failure::PermissionDenied, kind = "Permission denied", reason = "the file system is read-only";
        break;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        number = Failure::DiskFull, kind = "Disk full", reason = "the disk is full";
        break;
    case EIO:
        number = Failure::DeviceIO, kind = "Device I/O error", reason = "input/output error";
        break;
    case EEXIST:
        number = Failure::FileExists, kind = "File already exists", reason = "exists";
        break;
    case EISDIR:
        reason = "a folder, not a file";
        break;
    default:
        if (!reason.empty()) {
            reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
        }
        break;
    }
    throw FileFailure(number, std::string(kind) + " (" + action + " " + path.string() + ": " + std::strerror(err) + ")",
                      path, reason);
}

void ThrowFileProblem(const std::filesystem::path& path, const std::string& reason) {
    throw FileFailure(Failure::PathFileAccess, "Path/File access error (" + path.string() + ": " + reason + ")", path,
                      reason);
}

}  // namespace tavorin

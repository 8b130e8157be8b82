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
    FailureKind kind = FailureKind::FileAccess;
    std::string reason = std::strerror(err);
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        kind = FailureKind::FileMissing, reason = "no such file";
        break;
    case EACCES:
    case EPERM:
        kind = FailureKind::PermissionDenied, reason = "permission denied";
        break;
    case EROFS:
        kind = FailureKind::PermissionDenied, reason = "the file system is read-only";
        break;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        kind = FailureKind::DiskFull, reason = "the disk is full";
        break;
    case EIO:
        kind = FailureKind::DeviceIO, reason = "input/output error";
        break;
    case EEXIST:
        kind = FailureKind::FileExists, reason = "exists";
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
    throw FileFailure(kind,
                      std::string(Failure::EntryOf(kind).description) + " (" + action + " " + PathToUtf8(path) + ": " +
                          std::strerror(err) + ")",
                      path, reason);
}

void ThrowFileProblem(const std::filesystem::path& path, const std::string& reason) {
    throw FileFailure(FailureKind::FileAccess, "Path/File access error (" + PathToUtf8(path) + ": " + reason + ")",
                      path, reason);
}

}  // namespace tavorin

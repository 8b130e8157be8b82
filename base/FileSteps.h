#pragma once
// For the platform's file units (base/posix/Files.cpp, base/windows/Files.cpp) only: the fault
// hook of base/Files.h around each system call.

#include <cerrno>
#include <functional>
#include <mutex>

#include "base/Files.h"

namespace tavorin {

std::function<int(FileStep)>& FaultHook();
// One lock for every step: Step is a template, and a lock of its own would be one per call site.
std::mutex& FaultHookLock();

// The hook's error as a failed call of the system gives it: errno = err on POSIX; on Windows
// err is the system's error code (ERROR_DISK_FULL, ERROR_SHARING_VIOLATION), made the last
// error and mapped to errno as every failure of the Windows unit is.
void FailStep(int err) noexcept;

// Runs call, unless the fault hook fails this step: then -1, with the error as a failed call
// of the platform leaves it (FailStep). A system whose calls report otherwise wraps them to
// this form, or asks FaultHook() itself.
template <class Call>
auto Step(FileStep step, Call call) -> decltype(call()) {
    if (const auto& hook = FaultHook()) {
        std::lock_guard lock(FaultHookLock());  // the steps of several threads reach the hook one at a time
        if (const int err = hook(step)) {
            FailStep(err);
            return -1;
        }
    }
    return call();
}

}  // namespace tavorin

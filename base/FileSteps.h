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

// Runs call, unless the fault hook fails this step: then -1 with errno set to the number the
// hook gave, as a failed POSIX call would. (A system whose calls report otherwise wraps them
// to this form, or asks FaultHook() itself.)
template <class Call>
auto Step(FileStep step, Call call) -> decltype(call()) {
    if (const auto& hook = FaultHook()) {
        std::lock_guard lock(FaultHookLock());  // the steps of several threads reach the hook one at a time
        if (const int err = hook(step)) {
            errno = err;
            return -1;
        }
    }
    return call();
}

}  // namespace tavorin

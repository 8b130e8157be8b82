#pragma once
// Which cores a thread runs on. Part of the platform layer: made in base/posix/Cores.cpp
// (sched_getaffinity and sched_setaffinity; nothing where threads are not started) and
// base/windows/Cores.cpp (the process's and the thread's affinity masks).

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tavorin {

// The cores this process may run on (a process pinned by taskset or a container's limit may
// use fewer than the machine has); 0 when the system does not say.
std::size_t AllowedCores() noexcept;

// Sleeps the calling thread for about `time` (well under a millisecond) and returns true; returns
// false at once where the system has no sleep that short (Windows: a sleep lasts whole timer
// ticks, and the C++ library's sleep_for rounds one below a millisecond down to nothing, so a
// loop of such naps would spin a core). The caller then waits to be woken instead.
bool Nap(std::chrono::microseconds time) noexcept;

// Keeps the calling thread off the core another thread runs on (that thread's CurrentCore()),
// so that this thread's bursts of work never take that core from work everything else waits
// for. Nothing changes where no other core may be used; the thread's cores are given back
// at the end.
class OffCore {
public:
    OffCore() noexcept;
    ~OffCore() { Release(); }
    OffCore(const OffCore&) = delete;
    OffCore& operator=(const OffCore&) = delete;

    // Off `other` from now on (-1: anywhere it could run before); a system call only when
    // `other` changed.
    void Avoid(int other) noexcept;
    void Release() noexcept { Avoid(-1); }

    // The core the calling thread runs on now (cheap); -1 where that is unknown.
    static int CurrentCore() noexcept;

private:
    // The thread's cores before, in the system's own form (Linux: a cpu_set_t of 1024 cores).
    alignas(std::uint64_t) std::array<unsigned char, 128> before_{};
    bool known_ = false;
    int avoided_ = -1;
};

}  // namespace tavorin

#pragma once
// What the command-line tests (tests/cli/posix/Runner.cpp) and the benchmarks (bench/BenchChild.h)
// share when they start a program on POSIX: the arrays posix_spawn takes, and the program's own
// peak memory. The kernel starts a child's peak at its parent's, so a process that has held
// large buffers measures a program through a small process between (tests/tools/peak_of.cpp, or
// a fresh copy of the benchmark), which writes the program's peak to its descriptor 3.

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tavorin::child {

// The strings as a null-ended array of pointers (argv, envp), valid while they are.
inline std::vector<char*> PointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The process between: runs argv (argv[0] found on the PATH when it holds no slash), writes
// its peak resident memory in KiB to descriptor 3, and exits as it exited.
[[noreturn]] inline void RunAndWritePeak(char** argv) {
    ::fcntl(3, F_SETFD, FD_CLOEXEC);
    pid_t pid = -1;
    int status = 0;
    rusage usage{};
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0 || wait4(pid, &status, 0, &usage) < 0)
        ::_exit(127);
    ::dprintf(3, "%ld", usage.ru_maxrss);
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

// A file in memory for descriptor 3 of the process between.
inline int PeakFile() noexcept { return ::memfd_create("peak", MFD_CLOEXEC); }

// The peak written there (0 when none was), the file closed.
inline long TakePeak(int peakFile) noexcept {
    char text[32] = {};
    const long peak = ::pread(peakFile, text, sizeof text - 1, 0) > 0 ? std::atol(text) : 0;
    ::close(peakFile);
    return peak;
}

}  // namespace tavorin::child

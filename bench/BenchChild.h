#pragma once
// Runs a program as a child process with standard input and output on files (standard error
// dropped) and takes its wall time and its own peak resident memory (wait4).

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tests/tools/ChildProcess.h"

namespace tavorin::bench {

// A new private folder under the temporary folder for a benchmark's files.
inline std::filesystem::path MakeTempDir(const std::string& name) {
    std::string pattern = (std::filesystem::temp_directory_path() / (name + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a folder for " + name);
    return pattern;
}

struct Child {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system, every thread
    long maxRssKiB = 0;
    int status = -1;
};

// A program's own peak is taken through a fresh copy of the benchmark, small when it starts
// the program (tests/tools/ChildProcess.h).
inline constexpr std::string_view kPeakOf = "--peak-of";

// First thing in main: in such a copy, runs the program and exits.
inline void ServePeakOf(int argc, char** argv) {
    if (argc >= 3 && std::string_view(argv[1]) == kPeakOf)
        child::RunAndWritePeak(argv + 2);
}

// env: NAME=VALUE settings for the child. ownPeak: through a copy of this program (whose
// main calls ServePeakOf), so that maxRssKiB is the program's own.
inline Child RunChild(const std::vector<std::string>& args, const std::filesystem::path& in,
                      const std::filesystem::path& out, const std::vector<std::string>& env = {},
                      bool ownPeak = false) {
    std::vector<std::string> store = args;
    const int peakFd = ownPeak ? child::PeakFile() : -1;
    if (peakFd >= 0)
        store.insert(store.begin(), {"/proc/self/exe", std::string(kPeakOf)});
    const std::vector<char*> argv = child::PointersTo(store);
    // The settings first (the first of a name counts), then this process's environment.
    std::vector<std::string> settings = env;
    for (char** e = environ; *e != nullptr; ++e)
        settings.emplace_back(*e);
    const std::vector<char*> envp = child::PointersTo(settings);
    // Spawned, not forked: a fork copies this process's page tables first (the benchmark holds
    // large buffers), which would count against the child.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (peakFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, peakFd, 3);
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Child c;
    if (failed == 0) {
        rusage usage{};
        wait4(pid, &c.status, 0, &usage);
        c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto cpu = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
        c.cpuSeconds = cpu(usage.ru_utime) + cpu(usage.ru_stime);
        c.maxRssKiB = usage.ru_maxrss;
    }
    if (peakFd >= 0)
        c.maxRssKiB = child::TakePeak(peakFd);
    return c;
}

}  // namespace tavorin::bench

#pragma once
// Runs a program as a child process with standard input and output on files (standard error
// dropped) and takes its wall time and its own peak resident memory (wait4).

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

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
    long maxRssKiB = 0;
    int status = -1;
};

// env: NAME=VALUE settings for the child.
inline Child RunChild(const std::vector<std::string>& args, const std::filesystem::path& in,
                      const std::filesystem::path& out, const std::vector<std::string>& env = {}) {
    std::vector<std::string> store = args;
    std::vector<char*> argv;
    for (auto& a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The settings first (the first of a name counts), then this process's environment.
    std::vector<std::string> settings = env;
    for (char** e = environ; *e != nullptr; ++e)
        settings.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : settings)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    // Spawned, not forked: a fork copies this process's page tables first (the benchmark holds
    // large buffers), which would count against the child.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return Child{};
    Child c;
    rusage usage{};
    wait4(pid, &c.status, 0, &usage);
    c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    c.maxRssKiB = usage.ru_maxrss;
    return c;
}

}  // namespace tavorin::bench

#pragma once
// Runs a program as a child process with standard input and output on files (standard error
// dropped) and takes its wall time and its own peak resident memory (wait4).

#include <fcntl.h>
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
    std::vector<std::string> settings = env;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int i = open(in.c_str(), O_RDONLY);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int n = open("/dev/null", O_WRONLY);
        if (i < 0 || o < 0 || n < 0)
            _exit(126);
        dup2(i, 0), dup2(o, 1), dup2(n, 2);
        for (auto& e : settings)
            putenv(e.data());
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Child c;
    rusage usage{};
    wait4(pid, &c.status, 0, &usage);
    c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    c.maxRssKiB = usage.ru_maxrss;
    return c;
}

}  // namespace tavorin::bench

// The POSIX process runner of the command-line tests: posix_spawn in a session of its own (no
// controlling terminal), its standard streams on pipes served by poll, its peak memory taken by
// a small program between (tests/tools/peak_of.cpp).
#include "tests/cli/Runner.h"

#include <poll.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>

#include "tests/tools/ChildProcess.h"

namespace tavorin::test {

CliResult RunCliProgram(const std::vector<std::string>& args, const std::string& input,
                        const std::vector<std::string>& env, const std::string& stdinFile, int endAfterMs, Ending how) {
    int inPipe[2], outPipe[2], errPipe[2];
    EXPECT_EQ(pipe(inPipe), 0);
    EXPECT_EQ(pipe(outPipe), 0);
    EXPECT_EQ(pipe(errPipe), 0);
    // Through a small program that writes the peak to descriptor 3: the program's own peak. A
    // program to be ended is started itself, so that the signal reaches it.
    const bool peakOf = endAfterMs < 0;
    std::vector<std::string> argStore = {TAVORIN_CLI_PATH};
    if (peakOf)
        argStore.insert(argStore.begin(), TAVORIN_PEAK_OF_PATH);
    argStore.insert(argStore.end(), args.begin(), args.end());
    const std::vector<char*> argv = child::PointersTo(argStore);
    std::vector<std::string> envStore = {"PATH=/usr/bin:/bin", "ASAN_OPTIONS=detect_leaks=1"};
    envStore.insert(envStore.end(), env.begin(), env.end());
    const std::vector<char*> envp = child::PointersTo(envStore);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFile.empty())
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, stdinFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    const int peakFd = child::PeakFile();
    posix_spawn_file_actions_adddup2(&actions, peakFd, 3);
    // A pipe's end may be number 3 (run with fewer descriptors open): by now the peak's
    // descriptor stands there, and closing 3 would close it.
    for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
        if (fd != 3)
            posix_spawn_file_actions_addclose(&actions, fd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    signal(SIGPIPE, SIG_IGN);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(endAfterMs);

    CliResult r;
    std::size_t written = 0;
    int inFd = inPipe[1];
    fcntl(inFd, F_SETFL, O_NONBLOCK);
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    bool outOpen = true, errOpen = true, ending = endAfterMs >= 0;
    char buf[65536];
    while (outOpen || errOpen) {
        pollfd fds[3];
        int n = 0;
        if (outOpen)
            fds[n++] = {outPipe[0], POLLIN, 0};
        if (errOpen)
            fds[n++] = {errPipe[0], POLLIN, 0};
        if (inFd >= 0)
            fds[n++] = {inFd, POLLOUT, 0};
        int wait = -1;
        if (ending) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            wait = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
        const int ready = poll(fds, n, wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready == 0 && ending) {
            kill(pid, how == Ending::Kill ? SIGKILL : SIGINT);
            ending = false;
            continue;
        }
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == inFd) {
                const ssize_t put = write(inFd, input.data() + written, input.size() - written);
                if (put > 0)
                    written += static_cast<std::size_t>(put);
                if (put < 0 && errno != EAGAIN)
                    written = input.size();
                if (written == input.size()) {
                    close(inFd);
                    inFd = -1;
                }
                continue;
            }
            const ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got <= 0) {
                close(fds[i].fd);
                (fds[i].fd == outPipe[0] ? outOpen : errOpen) = false;
            } else {
                (fds[i].fd == outPipe[0] ? r.out : r.err).append(buf, static_cast<std::size_t>(got));
            }
        }
    }
    if (inFd >= 0)
        close(inFd);
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.peakKb = child::TakePeak(peakFd);
    if (peakOf) {
        EXPECT_GT(r.peakKb, 0);
    }
    return r;
}

int OpenForWriting(const std::filesystem::path& path, bool append) {
    return ::open(path.c_str(), O_WRONLY | O_CLOEXEC | (append ? O_APPEND : 0));
}

}  // namespace tavorin::test

// tavorin-cli ended by a signal while it writes a large file: whatever the signal and the
// moment, the folder holds what it held before (or, after the last step, the result); and it
// leaves no core file either.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "TempDir.h"

using namespace tavorin::test;
namespace fs = std::filesystem;

namespace {

// Starts the program in a session of its own, with the key in the environment.
pid_t Start(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), TAVORIN_CLI_PATH);
    args.insert(args.end(), {"--key-env", "K"});
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        for (const int sig : {SIGINT, SIGTERM, SIGHUP})
            ::signal(sig, SIG_DFL);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        char env[] = "K=kill key";
        char* envp[] = {env, nullptr};
        ::chdir(dir.path().c_str());
        ::execve(argv[0], argv.data(), envp);
        ::_exit(127);
    }
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(CliKilled, AnyEndingSignalLeavesTheFolderAsItWas) {
    TempDir dir(fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path());
    WriteFile(dir / "plain", TestBytes(4u << 20));
    WriteFile(dir / "message", tavorin::ByteArray(2u << 20, 'm'));
    ASSERT_EQ(Wait(Start(dir, {"encrypt-file", "plain", "sealed"})), 0);
    ASSERT_EQ(Wait(Start(dir, {"encrypt", "-i", "message", "-o", "envelope"})), 0);
    WriteFile(dir / "old", TestBytes(100, 5));
    const std::set<std::string> names = dir.Names();
    int midway = 0;
    // A new destination, and existing ones replaced.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"encrypt-file", "plain", "new"},
                                                 {"decrypt-file", "-f", "sealed", "old"},
                                                 {"decrypt", "-fi", "envelope", "-o", "old"}}) {
        SCOPED_TRACE(args[0]);
        const auto t0 = std::chrono::steady_clock::now();  // so that the signals spread over a run
        ASSERT_EQ(Wait(Start(dir, args)), 0);
        const auto span = std::chrono::steady_clock::now() - t0;
        const tavorin::ByteArray done = ReadFile(dir / "old");  // what a run that ends writes there
        const auto whole = fs::exists(dir / "new") ? fs::file_size(dir / "new") : 0;
        int moment = 0;
        for (const int sig : {SIGKILL, SIGINT, SIGTERM, SIGHUP, SIGKILL, SIGINT, SIGTERM, SIGHUP}) {
            fs::remove(dir / "new");
            WriteFile(dir / "old", TestBytes(100, 5));
            const pid_t pid = Start(dir, args);
            std::this_thread::sleep_for(span * (++moment) / 10);
            ::kill(pid, sig);
            if (Wait(pid) != 0) {  // not done before the signal
                ++midway;
                // A signal that comes after the new file was named finds it whole.
                std::set<std::string> now = dir.Names();
                if (now.erase("new") != 0) {
                    EXPECT_EQ(fs::file_size(dir / "new"), whole) << "a piece of the new file";
                }
                EXPECT_EQ(now, names) << "signal " << sig << " at moment " << moment;
                const tavorin::ByteArray old = ReadFile(dir / "old");
                EXPECT_TRUE(old == TestBytes(100, 5) || old == done) << "neither old nor new";
            }
        }
    }
    EXPECT_GT(midway, 12);
}

// A crash must not put keys or plaintext on disk: no core file, and the process is not
// dumpable (its /proc entries then belong to root, whoever runs it).
TEST(CliKilled, NoCoreDumps) {
    // The unprivileged user runs a copy in a folder open to all: the checkout may stand in one
    // only its owner may enter (root's home), where that user's exec would be refused.
    TempDir open(fs::is_directory("/tmp") ? fs::path("/tmp") : fs::temp_directory_path());
    fs::permissions(open.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    const std::string program = (open / "tavorin-cli").string();
    fs::copy_file(TAVORIN_CLI_PATH, program);
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    int keyPipe[2];
    ASSERT_EQ(::pipe(keyPipe), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(keyPipe[0], 0);
        // A core limit of its own, so that "0 0" can only come from the program itself: an
        // inherited one would be seen before the exec, while this child may already have
        // changed its user but not yet its dumpable flag.
        rlimit core{};
        ::getrlimit(RLIMIT_CORE, &core);
        core.rlim_cur = core.rlim_max = core.rlim_max == 0 ? 0 : std::min<rlim_t>(core.rlim_max, 1 << 20);
        ::setrlimit(RLIMIT_CORE, &core);
        if (::getuid() == 0 && (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(127);
        char* argv[] = {const_cast<char*>(program.c_str()),
                        const_cast<char*>("encrypt-file"),
                        const_cast<char*>("--key-file"),
                        const_cast<char*>("-"),
                        const_cast<char*>("/proc/version"),
                        const_cast<char*>("-"),
                        nullptr};
        ::execv(argv[0], argv);  // waits for its key on the pipe
        ::_exit(127);
    }
    std::string limits;
    const std::string noCores = "Max core file size        0                    0";
    for (int i = 0; i < 200 && limits.find(noCores) == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        std::ifstream in("/proc/" + std::to_string(pid) + "/limits");
        limits.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(limits.find(noCores), std::string::npos) << limits;
    struct stat st {};
    EXPECT_EQ(::stat(("/proc/" + std::to_string(pid) + "/status").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    ::kill(pid, SIGKILL);
    Wait(pid);
    ::close(keyPipe[0]);
    ::close(keyPipe[1]);
}

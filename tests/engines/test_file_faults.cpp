// The file operations under faults: every system call failed in turn, the process killed at
// every step and at random moments, sources that vanish or shrink, folders that refuse
// writing, a full disk. Whatever happens, the source is untouched, an existing destination
// is wholly old or wholly new, and no temporary file is left behind by a surviving program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <tuple>

#include "base/Failure.h"
#include "base/Files.h"
#include "engines/Registry.h"
#include "tests/TempDir.h"
#include "tests/ToyCipher.h"

using namespace tavorin;
using namespace tavorin::test;
namespace fs = std::filesystem;

namespace {

constexpr std::u16string_view kKey = u"file fault key";

// The many runs below sync every file they write: in memory that costs nothing.
fs::path Scratch() {
    std::error_code ec;
    return fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

// The toy cipher with files of several chunks, and Blowfish with small ones.
struct EngineCase {
    std::string name;
    std::function<std::unique_ptr<Engine>()> make;
    std::size_t size;
};

std::vector<EngineCase> EngineCases() {
    return {{"Toy", [] { return std::make_unique<ToyCipher<8>>(); }, (1u << 20) + 3000},
            {"Blowfish", [] { return CreateEngine(u"Blowfish"); }, 5000}};
}

enum class Op { Encrypt, Decrypt };
enum class Dest { New, Existing, SameAsSource };

struct Scene {
    Op op;
    Dest dest;
};

const Scene kScenes[] = {
    {Op::Encrypt, Dest::New}, {Op::Encrypt, Dest::Existing}, {Op::Encrypt, Dest::SameAsSource},
    {Op::Decrypt, Dest::New}, {Op::Decrypt, Dest::Existing}, {Op::Decrypt, Dest::SameAsSource},
};

std::string Describe(const Scene& s) {
    return std::string(s.op == Op::Encrypt ? "encrypt" : "decrypt") + (s.dest == Dest::New        ? " to a new file"
                                                                       : s.dest == Dest::Existing ? " over a file"
                                                                                                  : " in place");
}

// The files of one scene, and what they held before the operation.
struct Files {
    fs::path source, dest;
    ByteArray plain, sourceBefore, destBefore;
    bool destExisted = false;
    std::set<std::string> namesBefore;
};

// The contents of a scene's source, made once per engine and size: the plain text, and the
// engine's ciphertext of it for decryption.
const ByteArray& SourceContent(const EngineCase& ec, Op op) {
    static std::map<std::tuple<std::string, std::size_t, Op>, ByteArray> made;
    ByteArray& content = made[{ec.name, ec.size, op}];
    if (content.empty()) {
        content = TestBytes(ec.size, 3);
        if (op == Op::Decrypt)
            ec.make()->EncryptByte(content, kKey);
    }
    return content;
}

Files Prepare(const TempDir& dir, const Scene& scene, const EngineCase& ec) {
    Files s;
    s.source = dir / "source.bin";
    s.dest = scene.dest == Dest::SameAsSource ? s.source : dir / "dest.bin";
    s.plain = SourceContent(ec, Op::Encrypt);
    WriteFile(s.source, SourceContent(ec, scene.op));
    if (scene.dest == Dest::Existing)
        WriteFile(s.dest, TestBytes(777, 9));
    s.sourceBefore = ReadFile(s.source);
    s.destExisted = fs::exists(s.dest);
    if (s.destExisted)
        s.destBefore = ReadFile(s.dest);
    s.namesBefore = dir.Names();
    return s;
}

void RunOp(Engine& e, const Scene& scene, const Files& s) {
    if (scene.op == Op::Encrypt) {
        e.EncryptFile(s.source, s.dest, kKey);
    } else {
        ASSERT_TRUE(e.DecryptFile(s.source, s.dest, kKey));
    }
}

// After a failure: both files as they were, nothing new in the folder.
void ExpectNothingChanged(const TempDir& dir, const Files& s) {
    EXPECT_EQ(ReadFile(s.source), s.sourceBefore) << "the source changed";
    if (s.destExisted) {
        EXPECT_EQ(ReadFile(s.dest), s.destBefore) << "the destination is not wholly old";
    } else {
        EXPECT_FALSE(fs::exists(s.dest)) << "a destination appeared";
    }
    EXPECT_EQ(dir.Names(), s.namesBefore) << "something was left behind";
}

// The destination holds the complete result of the operation.
bool HoldsResult(const EngineCase& ec, const Scene& scene, const Files& s, const TempDir& dir) {
    if (scene.op == Op::Decrypt)
        return ReadFile(s.dest) == s.plain;
    const fs::path check = dir / "check.tmp";
    const bool ok = ec.make()->DecryptFile(s.dest, check, kKey) && ReadFile(check) == s.plain;
    fs::remove(check);
    return ok;
}

// Counts the file system calls and fails (or runs an action at) the one numbered `at`.
struct Script {
    std::vector<FileStep> seen;
    std::size_t at = SIZE_MAX;
    std::function<int(FileStep)> action;
    // When set, `at` counts only the steps of this kind: chunks on several cores make their
    // calls in no fixed order.
    std::optional<FileStep> only;

    void Install() {
        SetFileFaultHook([this](FileStep step) {
            seen.push_back(step);
            const auto counted =
                only ? std::count(seen.begin(), seen.end(), *only) - 1 : static_cast<std::ptrdiff_t>(seen.size()) - 1;
            return (!only || step == *only) && static_cast<std::size_t>(counted) == at ? action(step) : 0;
        });
    }
};

struct HookGuard {
    ~HookGuard() { SetFileFaultHook(nullptr); }
};

// The errno a real fault at each step would bring, and the number it must be reported as.
int ErrnoFor(FileStep step) {
    switch (step) {
    case FileStep::OpenSource:
        return EACCES;
    case FileStep::ReadSource:
        return EIO;
    case FileStep::CreateTemporary:
        return EROFS;
    case FileStep::Write:
        return ENOSPC;
    case FileStep::Flush:
        return EIO;
    case FileStep::Sync:
        return EIO;
    case FileStep::Close:
        return EDQUOT;
    case FileStep::Rename:
        return EXDEV;
    case FileStep::Link:
        return EMLINK;
    }
    return EIO;
}

std::int32_t NumberFor(int err) {
    switch (err) {
    case EACCES:
    case EROFS:
        return Failure::PermissionDenied;
    case EIO:
        return Failure::DeviceIO;
    case ENOSPC:
    case EDQUOT:
        return Failure::DiskFull;
    default:
        return Failure::PathFileAccess;
    }
}

const char* StepName(FileStep s) {
    static const char* names[] = {"open source", "read source", "create temporary", "write", "flush",
                                  "sync",        "close",       "rename",           "link"};
    return names[static_cast<int>(s)];
}

// The calls one operation makes, from a run with nothing failed.
std::vector<FileStep> StepsOf(const EngineCase& ec, const Scene& scene) {
    TempDir dir(Scratch());
    const Files s = Prepare(dir, scene, ec);
    HookGuard guard;
    Script script;
    script.Install();
    auto e = ec.make();
    RunOp(*e, scene, s);
    return script.seen;
}

// Runs fn in a child process, as the unprivileged user when we are root (permission bits do
// not stop root). Returns the child's exit code, or 128 + signal.
int InChild(const std::function<int()>& fn, bool unprivileged = false) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 100;
        if (unprivileged && ::getuid() == 0 &&
            (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)) {
            ::_exit(101);
        }
        try {
            code = fn();
        } catch (...) {
            code = 102;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs the operation with call i failed as a real fault would fail it: the failure must
// come out with the expected number, and both files stay as they were.
void FailCallAndExpectNothingChanged(const EngineCase& ec, const Scene& scene, std::size_t i, std::int32_t number,
                                     std::optional<FileStep> only = std::nullopt) {
    TempDir dir(Scratch());
    const Files s = Prepare(dir, scene, ec);
    HookGuard guard;
    Script script;
    script.at = i;
    script.only = only;
    script.action = ErrnoFor;
    script.Install();
    try {
        RunOp(*ec.make(), scene, s);
        ADD_FAILURE() << "no failure reported";
    } catch (const Failure& f) {
        EXPECT_EQ(f.Number(), number) << f.Description();
    }
    SetFileFaultHook(nullptr);
    ExpectNothingChanged(dir, s);
}

}  // namespace

TEST(FileFaults, AnyFailedCallLeavesBothFilesAsTheyWere) {
    for (const EngineCase& ec : EngineCases()) {
        for (const Scene& scene : kScenes) {
            const std::vector<FileStep> steps = StepsOf(ec, scene);
            ASSERT_GE(steps.size(), 6u);
            for (std::size_t i = 0; i < steps.size(); ++i) {
                SCOPED_TRACE(ec.name + ", " + Describe(scene) + ", failing call " + std::to_string(i) + " (" +
                             StepName(steps[i]) + ")");
                FailCallAndExpectNothingChanged(ec, scene, i, NumberFor(ErrnoFor(steps[i])));
            }
        }
    }
}

// Large files are flushed in stretches while they are written. The kernel reports a
// write-back error to one flush only, so a failed early flush must still fail the operation.
TEST(FileFaults, LargeFilesFlushEarlyAndAFailedEarlyFlushIsReported) {
    const EngineCase big{"Toy", [] { return std::make_unique<ToyCipher<8>>(); }, (17u << 20) + 5};
    for (const Scene& scene : kScenes) {
        const std::vector<FileStep> steps = StepsOf(big, scene);
        std::vector<std::size_t> flushes;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            if (steps[i] == FileStep::Flush)
                flushes.push_back(i);
        }
        EXPECT_EQ(flushes.size(), 2u) << Describe(scene);
        for (std::size_t i = 0; i < flushes.size(); ++i) {
            SCOPED_TRACE(Describe(scene) + ", failing flush " + std::to_string(i));
            FailCallAndExpectNothingChanged(big, scene, i, Failure::DeviceIO, FileStep::Flush);
        }
        // A chunk's read or write failing while others are under way.
        for (const FileStep step : {FileStep::ReadSource, FileStep::Write}) {
            SCOPED_TRACE(Describe(scene) + ", failing the 6th " + StepName(step));
            FailCallAndExpectNothingChanged(big, scene, 5, NumberFor(ErrnoFor(step)), step);
        }
    }
}

// A progress handler that throws stops the work wherever it is, with nothing written.
TEST(FileFaults, AThrowingProgressHandlerLeavesBothFilesAsTheyWere) {
    const EngineCase big{"Toy", [] { return std::make_unique<ToyCipher<8>>(); }, (5u << 20) + 77};
    for (const Scene& scene : kScenes) {
        for (int stopAt : {0, 30, 99}) {
            SCOPED_TRACE(Describe(scene) + ", stopped at " + std::to_string(stopAt));
            TempDir dir(Scratch());
            const Files s = Prepare(dir, scene, big);
            auto e = big.make();
            e->Progress = [stopAt](std::int32_t p) {
                if (p >= stopAt)
                    throw std::runtime_error("stopped");
            };
            EXPECT_THROW(RunOp(*e, scene, s), std::runtime_error);
            ExpectNothingChanged(dir, s);
        }
    }
}

// Where no thread can be started (a process limit), the file operations do the same work
// on the calling thread alone.
TEST(FileFaults, WithoutThreadsTheFileOperationsStillWork) {
    TempDir dir(Scratch());
    fs::permissions(dir.path(), fs::perms::all);
    const ByteArray plain = TestBytes((17u << 20) + 5, 4);
    WriteFile(dir / "plain", plain);
    fs::permissions(dir / "plain", fs::perms::all);
    const int code = InChild(
        [&] {
            const rlimit one{1, 1};
            if (::setrlimit(RLIMIT_NPROC, &one) != 0)
                return 10;
            try {
                std::thread([] {}).join();
                return 11;
            } catch (const std::system_error&) {
            }
            ToyCipher<8> toy;
            toy.EncryptFile(dir / "plain", dir / "cipher", kKey);
            if (!toy.DecryptFile(dir / "cipher", dir / "back", kKey))
                return 12;
            return ReadFile(dir / "back") == plain ? 0 : 13;
        },
        true);
    if (code == 11)
        GTEST_SKIP() << "threads can still be started under a process limit of 1";
    EXPECT_EQ(code, 0);
}

TEST(FileFaults, KilledAtAnyStepLeavesTheDestinationWhollyOld) {
    for (const EngineCase& ec : EngineCases()) {
        for (const Scene& scene : kScenes) {
            const std::vector<FileStep> steps = StepsOf(ec, scene);
            for (std::size_t i = 0; i < steps.size(); ++i) {
                SCOPED_TRACE(ec.name + ", " + Describe(scene) + ", killed before call " + std::to_string(i) + " (" +
                             StepName(steps[i]) + ")");
                TempDir dir(Scratch());
                const Files s = Prepare(dir, scene, ec);
                const int code = InChild([&] {
                    Script script;
                    script.at = i;
                    script.action = [](FileStep) { return ::raise(SIGKILL); };
                    script.Install();
                    RunOp(*ec.make(), scene, s);
                    return 0;
                });
                EXPECT_EQ(code, 128 + SIGKILL);
                EXPECT_EQ(ReadFile(s.source), s.sourceBefore);
                // Once linked, a new destination is complete; an existing one is replaced
                // by the rename, the last call.
                const bool linked = std::find(steps.begin(), steps.begin() + i, FileStep::Link) != steps.begin() + i;
                if (s.destExisted) {
                    EXPECT_EQ(ReadFile(s.dest), s.destBefore);
                } else if (linked) {
                    EXPECT_TRUE(HoldsResult(ec, scene, s, dir));
                } else {
                    EXPECT_FALSE(fs::exists(s.dest));
                }
                // Nothing else is left, unless the kill came between naming the complete file
                // beside the destination and renaming it over.
                for (const std::string& name : dir.Names()) {
                    if (s.namesBefore.count(name) == 0 && name != s.dest.filename()) {
                        EXPECT_TRUE(linked && s.destExisted) << name;
                        EXPECT_EQ(name.rfind("." + s.dest.filename().string() + ".tavorin-", 0), 0u) << name;
                    }
                }
            }
        }
    }
}

TEST(FileFaults, KilledAtRandomMomentsTheDestinationIsWhollyOldOrWhollyNew) {
    EngineCase big{"Toy", [] { return std::make_unique<ToyCipher<8>>(); }, 3u << 20};
    for (const Scene& scene : {Scene{Op::Encrypt, Dest::Existing}, Scene{Op::Encrypt, Dest::SameAsSource},
                               Scene{Op::Decrypt, Dest::SameAsSource}}) {
        // How long one operation takes here, so the kills spread over all of it.
        TempDir probe(Scratch());
        const Files ps = Prepare(probe, scene, big);
        const auto t0 = std::chrono::steady_clock::now();
        RunOp(*big.make(), scene, ps);
        const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
        int sawOld = 0, sawNew = 0;
        for (int k = 0; k < 8; ++k) {
            SCOPED_TRACE(Describe(scene) + ", kill " + std::to_string(k));
            TempDir dir(Scratch());
            const Files s = Prepare(dir, scene, big);
            const pid_t pid = ::fork();
            if (pid == 0) {
                try {
                    RunOp(*big.make(), scene, s);
                } catch (...) {
                    ::_exit(1);
                }
                ::_exit(0);
            }
            std::this_thread::sleep_for(span * (k + 1) / 7);  // the last kill comes after the end
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 0);
            if (scene.dest != Dest::SameAsSource) {
                EXPECT_EQ(ReadFile(s.source), s.sourceBefore);
            }
            if (ReadFile(s.dest) == s.destBefore) {
                ++sawOld;
            } else {
                EXPECT_TRUE(HoldsResult(big, scene, s, dir)) << "a destination neither old nor new";
                ++sawNew;
            }
        }
        EXPECT_GT(sawOld + sawNew, 0);
    }
}

TEST(FileFaults, SourceThatVanishesOrShrinksWhileRead) {
    for (const EngineCase& ec : EngineCases()) {
        for (const Scene& scene : kScenes) {
            SCOPED_TRACE(ec.name + ", " + Describe(scene));
            {
                // Gone between the existence test and opening.
                TempDir dir(Scratch());
                Files s = Prepare(dir, scene, ec);
                HookGuard guard;
                Script script;
                script.at = 0;
                script.action = [&](FileStep step) {
                    EXPECT_EQ(step, FileStep::OpenSource);
                    fs::remove(s.source);
                    return 0;
                };
                script.Install();
                try {
                    RunOp(*ec.make(), scene, s);
                    ADD_FAILURE() << "no failure reported";
                } catch (const Failure& f) {
                    EXPECT_EQ(f.Number(), Failure::FileNotFound) << f.Description();
                }
                SetFileFaultHook(nullptr);
                if (scene.dest == Dest::Existing) {
                    EXPECT_EQ(ReadFile(s.dest), s.destBefore);
                }
                if (scene.dest == Dest::New) {
                    EXPECT_FALSE(fs::exists(s.dest));
                }
                s.namesBefore.erase("source.bin");
                EXPECT_EQ(dir.Names(), s.namesBefore);
            }
            if (scene.dest != Dest::SameAsSource) {
                // Cut short by someone else after the first read.
                TempDir dir(Scratch());
                const Files s = Prepare(dir, scene, ec);
                HookGuard guard;
                Script script;
                script.at = 2;  // open, first read, then the cut
                script.action = [&](FileStep) {
                    fs::resize_file(s.source, 20);
                    return 0;
                };
                script.Install();
                auto e = ec.make();
                bool failed = false;
                try {
                    RunOp(*e, scene, s);
                } catch (const Failure& f) {
                    failed = true;
                    EXPECT_TRUE(f.IsFileError()) << f.Description();
                }
                SetFileFaultHook(nullptr);
                // A file read whole in the first call has nothing left to cut.
                if (failed) {
                    if (s.destExisted) {
                        EXPECT_EQ(ReadFile(s.dest), s.destBefore);
                    } else {
                        EXPECT_FALSE(fs::exists(s.dest));
                    }
                    EXPECT_EQ(dir.Names(), s.namesBefore);
                }
            }
        }
    }
}

TEST(FileFaults, PermissionsRefusedForAnUnprivilegedUser) {
    for (const EngineCase& ec : EngineCases()) {
        SCOPED_TRACE(ec.name);
        {
            // A source nobody may read.
            TempDir dir(Scratch());
            fs::permissions(dir.path(), fs::perms::all);
            const Files s = Prepare(dir, {Op::Encrypt, Dest::Existing}, ec);
            fs::permissions(s.dest, fs::perms::all);
            fs::permissions(s.source, fs::perms::none);
            const int code = InChild(
                [&] {
                    try {
                        ec.make()->EncryptFile(s.source, s.dest, kKey);
                        return 1;
                    } catch (const Failure& f) {
                        return f.Number() == Failure::PermissionDenied ? 0 : 2;
                    }
                },
                true);
            EXPECT_EQ(code, 0);
            fs::permissions(s.source, fs::perms::owner_read | fs::perms::owner_write);
            ExpectNothingChanged(dir, s);
        }
        for (const Scene& scene : kScenes) {
            // A folder nobody may write in, holding a destination anybody may write.
            SCOPED_TRACE(Describe(scene));
            TempDir dir(Scratch());
            const Files s = Prepare(dir, scene, ec);
            fs::permissions(s.source, fs::perms::all);
            if (s.destExisted)
                fs::permissions(s.dest, fs::perms::all);
            fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                            fs::perms::others_read | fs::perms::others_exec);
            const int code = InChild(
                [&] {
                    try {
                        RunOp(*ec.make(), scene, s);
                        return 1;
                    } catch (const Failure& f) {
                        return f.Number() == Failure::PermissionDenied ? 0 : 2;
                    }
                },
                true);
            EXPECT_EQ(code, 0);
            ExpectNothingChanged(dir, s);
        }
    }
}

namespace {

// A small tmpfs of our own, in a mount namespace of this process alone, so that it vanishes
// with the process whatever happens. Skips the test where mounting is not allowed.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& where, const char* options) : where_(where) {
        static const bool privateMounts =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        fs::create_directory(where_);
        mounted_ = privateMounts && ::mount("tavorin-test", where_.c_str(), "tmpfs", 0, options) == 0;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(where_.c_str(), MNT_DETACH);
    }
    bool Mounted() const noexcept { return mounted_; }
    bool MakeReadOnly() { return ::mount(nullptr, where_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
    fs::path where_;
    bool mounted_ = false;
};

}  // namespace

TEST(FileFaults, FullDiskLosesNothing) {
    for (const EngineCase& ec : EngineCases()) {
        SCOPED_TRACE(ec.name);
        TempDir dir(Scratch());
        SmallDisk disk(dir / "disk", "size=64k");
        if (!disk.Mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here";
        const ByteArray big = TestBytes(200000, 5);
        const ByteArray old = TestBytes(3000, 6);
        WriteFile(dir / "big", big);
        WriteFile(dir / "disk" / "dest", old);
        // 40 KiB fits once, not twice: encrypting it in place needs room for both.
        const ByteArray middle = TestBytes(40000, 7);
        WriteFile(dir / "disk" / "inplace", middle);
        const std::set<std::string> before{"dest", "inplace"};

        auto e = ec.make();
        try {
            e->EncryptFile(dir / "big", dir / "disk" / "dest", kKey);
            ADD_FAILURE() << "no failure reported";
        } catch (const Failure& f) {
            EXPECT_EQ(f.Number(), Failure::DiskFull) << f.Description();
        }
        try {
            e->EncryptFile(dir / "disk" / "inplace", dir / "disk" / "inplace", kKey);
            ADD_FAILURE() << "no failure reported";
        } catch (const Failure& f) {
            EXPECT_EQ(f.Number(), Failure::DiskFull) << f.Description();
        }
        EXPECT_EQ(ReadFile(dir / "big"), big);
        EXPECT_EQ(ReadFile(dir / "disk" / "dest"), old);
        EXPECT_EQ(ReadFile(dir / "disk" / "inplace"), middle);
        std::set<std::string> after;
        for (const auto& entry : fs::directory_iterator(dir / "disk"))
            after.insert(entry.path().filename().string());
        EXPECT_EQ(after, before);
        // And the space is free again: a small file still fits.
        WriteFile(dir / "small", TestBytes(1000));
        EXPECT_NO_THROW(e->EncryptFile(dir / "small", dir / "disk" / "dest", kKey));
    }
}

TEST(FileFaults, ReadOnlyFileSystemLosesNothing) {
    for (const EngineCase& ec : EngineCases()) {
        SCOPED_TRACE(ec.name);
        TempDir dir(Scratch());
        SmallDisk disk(dir / "disk", "size=1m");
        if (!disk.Mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here";
        const ByteArray plain = TestBytes(5000, 2);
        WriteFile(dir / "disk" / "file", plain);
        ASSERT_TRUE(disk.MakeReadOnly());
        auto e = ec.make();
        for (const fs::path& dest : {dir / "disk" / "file", dir / "disk" / "new"}) {
            try {
                e->EncryptFile(dir / "disk" / "file", dest, kKey);
                ADD_FAILURE() << "no failure reported";
            } catch (const Failure& f) {
                EXPECT_EQ(f.Number(), Failure::PermissionDenied) << f.Description();
            }
        }
        EXPECT_EQ(ReadFile(dir / "disk" / "file"), plain);
        EXPECT_FALSE(fs::exists(dir / "disk" / "new"));
    }
}

TEST(FileFaults, WrongKeyLeavesTheDestinationAlone) {
    for (const EngineCase& ec : EngineCases()) {
        for (const Scene& scene : {Scene{Op::Decrypt, Dest::Existing}, Scene{Op::Decrypt, Dest::SameAsSource}}) {
            SCOPED_TRACE(ec.name + ", " + Describe(scene));
            TempDir dir(Scratch());
            const Files s = Prepare(dir, scene, ec);
            auto e = ec.make();
            int reports = 0;
            e->WrongKey = [&](std::u16string_view) { ++reports; };
            EXPECT_FALSE(e->DecryptFile(s.source, s.dest, u"not the key"));
            EXPECT_EQ(reports, 1);
            ExpectNothingChanged(dir, s);
        }
    }
}

TEST(FileFaults, SpecialFilesNeitherHangNorGetReplaced) {
    TempDir dir(Scratch());
    WriteFile(dir / "plain", TestBytes(100));
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);

    // Reading a FIFO nobody writes to would wait forever; it must be refused at once.
    const auto t0 = std::chrono::steady_clock::now();
    const int code = InChild([&] {
        ::alarm(20);  // a hang fails the test instead of stalling it
        ToyCipher<8> e;
        for (auto op : {0, 1}) {
            try {
                if (op == 0)
                    e.EncryptFile(dir / "fifo", dir / "out", kKey);
                else
                    e.DecryptFile(dir / "fifo", dir / "out", kKey);
                return 1;
            } catch (const Failure& f) {
                if (f.Number() != Failure::PathFileAccess)
                    return 2;
            }
        }
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));

    // A FIFO or a device as destination is refused and stays what it was; renaming over it
    // would have removed it.
    ToyCipher<8> e;
    const fs::path null = dir / "null";
    const bool haveDevice = ::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    for (const fs::path& dest : {dir / "fifo", null}) {
        if (dest == null && !haveDevice)
            continue;
        try {
            e.EncryptFile(dir / "plain", dest, kKey);
            ADD_FAILURE() << dest << ": no failure reported";
        } catch (const Failure& f) {
            EXPECT_EQ(f.Number(), Failure::PathFileAccess) << f.Description();
        }
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    if (haveDevice) {
        EXPECT_TRUE(fs::is_character_file(null));
    }
    // A folder as destination is refused and kept.
    fs::create_directory(dir / "folder");
    EXPECT_THROW(e.EncryptFile(dir / "plain", dir / "folder", kKey), Failure);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST(FileFaults, LinksAndModesOfTheDestinationSurvive) {
    TempDir dir(Scratch());
    const ByteArray plain = TestBytes(3000);
    WriteFile(dir / "plain", plain);
    WriteFile(dir / "target", TestBytes(10));
    fs::create_symlink("target", dir / "link");
    fs::permissions(dir / "target", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    ToyCipher<8> e;
    e.EncryptFile(dir / "plain", dir / "link", kKey);
    EXPECT_TRUE(fs::is_symlink(dir / "link")) << "the link was replaced by a file";
    EXPECT_EQ(fs::status(dir / "target").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(e.DecryptFile(dir / "link", dir / "back", kKey));
    EXPECT_EQ(ReadFile(dir / "back"), plain);
    // A new file is the owner's alone: it may hold a decrypted secret.
    EXPECT_EQ(fs::status(dir / "back").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"back", "link", "plain", "target"}));
}

// Where the folder cannot hold an unnamed file, the named temporary file is the owner's alone
// and any signal that ends the program removes it.
TEST(FileFaults, NamedTemporaryIsPrivateAndRemovedBySignals) {
    const EngineCase big{"Toy", [] { return std::make_unique<ToyCipher<8>>(); }, (3u << 20) + 5};
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        const Scene scene{sig == SIGINT ? Op::Encrypt : Op::Decrypt, sig == SIGHUP ? Dest::New : Dest::Existing};
        SCOPED_TRACE(Describe(scene) + ", signal " + std::to_string(sig));
        TempDir dir(Scratch());
        const Files s = Prepare(dir, scene, big);
        const int code = InChild([&] {
            ::signal(sig, SIG_DFL);
            int creates = 0;
            SetFileFaultHook([&](FileStep step) {
                if (step == FileStep::CreateTemporary && ++creates == 1)  // the unnamed file
                    return EOPNOTSUPP;
                for (const std::string& name : dir.Names()) {
                    if (step == FileStep::Write && s.namesBefore.count(name) == 0 &&
                        fs::status(dir / name).permissions() == (fs::perms::owner_read | fs::perms::owner_write))
                        ::raise(sig);
                }
                return 0;
            });
            RunOp(*big.make(), scene, s);
            return 0;
        });
        EXPECT_EQ(code, 128 + sig);
        ExpectNothingChanged(dir, s);
    }
}

// Told not to replace, an existing destination is refused before anything is written, and one
// that appears meanwhile is refused when the output is named, and survives. Naming the unnamed
// file must not need a privilege.
TEST(FileFaults, WithoutReplaceNoDestinationIsLostEvenOneThatAppearsMeanwhile) {
    for (int variant = 0; variant < 4; ++variant) {
        const bool unnamed = variant < 2, appears = variant % 2;
        SCOPED_TRACE(std::string(unnamed ? "unnamed" : "named") + (appears ? ", appears meanwhile" : ""));
        TempDir dir(Scratch());
        fs::permissions(dir.path(), fs::perms::all);
        Files s = Prepare(dir, {Op::Encrypt, appears ? Dest::New : Dest::Existing}, EngineCases().front());
        s.namesBefore.insert("dest.bin");
        const std::size_t entries = dir.Entries();
        const int code = InChild(
            [&] {
                int creates = 0;
                SetFileFaultHook([&](FileStep step) {
                    if (step == FileStep::CreateTemporary && ++creates == 1 && !unnamed)
                        return EOPNOTSUPP;
                    if (step == FileStep::Write && dir.Entries() != entries + !unnamed)
                        ::_exit(10);  // only a named temporary file shows
                    if (step == FileStep::Sync && appears)
                        WriteFile(s.dest, TestBytes(99, 8));
                    return 0;
                });
                ToyCipher<8> toy;
                toy.DestPolicy({.replace = false});
                try {
                    toy.EncryptFile(s.source, s.dest, kKey);
                } catch (const Failure& f) {
                    return f.Number() == Failure::FileExists && dir.Names() == s.namesBefore ? 0 : 11;
                }
                return 12;
            },
            unnamed);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(ReadFile(s.dest), appears ? TestBytes(99, 8) : s.destBefore);
    }
}

// Without /proc, a process that may link descriptors (root) still writes through an unnamed
// file: no named temporary file shows while it writes, and a kill could leave none.
TEST(FileFaults, WithoutProcRootStillWritesAnUnnamedFile) {
    TempDir dir(Scratch());
    const Files s = Prepare(dir, {Op::Encrypt, Dest::Existing}, EngineCases().front());
    const std::size_t entries = dir.Entries();
    const int code = InChild([&] {
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tavorin-test", "/proc", "tmpfs", 0, nullptr) != 0)
            return 20;
        SetFileFaultHook([&](FileStep step) { return step == FileStep::Write && dir.Entries() != entries ? EIO : 0; });
        ToyCipher<8> toy;
        toy.EncryptFile(s.source, s.dest, kKey);
        return 0;
    });
    if (code == 20)
        GTEST_SKIP() << "needs root and a mount namespace of its own";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(dir.Entries(), entries);
    EXPECT_NE(ReadFile(s.dest), s.destBefore);
}

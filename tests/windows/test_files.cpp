// The Windows file unit under faults, through the same seam as on Linux: each system call of
// an encryption failed in turn with an error of the system's, in a new file, over an existing
// one and in place. Whatever fails, the source is untouched, an existing destination is wholly
// old, and nothing else is left in the folder (the file being made was marked for deletion
// from the start).
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "base/Failure.h"
#include "base/Files.h"
#include "engines/Registry.h"
#include "tests/TempDir.h"

using namespace tavorin;
using namespace tavorin::test;
namespace fs = std::filesystem;

TEST(WindowsFiles, EveryStepFailedInTurnLeavesTheFolderAsItWas) {
    // Each step fails with an error of the system's own, which must reach the caller as its kind.
    const std::pair<FileStep, DWORD> faults[] = {{FileStep::OpenSource, ERROR_SHARING_VIOLATION},
                                                 {FileStep::ReadSource, ERROR_LOCK_VIOLATION},
                                                 {FileStep::CreateTemporary, ERROR_ACCESS_DENIED},
                                                 {FileStep::Write, ERROR_HANDLE_DISK_FULL},
                                                 {FileStep::Sync, ERROR_WRITE_PROTECT},
                                                 {FileStep::Rename, ERROR_DISK_FULL}};
    const auto kindOf = [](DWORD error) {
        return error == ERROR_HANDLE_DISK_FULL || error == ERROR_DISK_FULL ? FailureKind::DiskFull
                                                                           : FailureKind::PermissionDenied;
    };
    const ByteArray plain = TestBytes((2u << 20) + 777, 5);  // several chunks
    auto engine = CreateEngine(u"Twofish");
    for (const auto& [step, error] : faults) {
        for (const int kind : {0, 1, 2}) {  // a new destination, an existing one, the source itself
            TempDir dir;
            const fs::path source = dir.path() / fs::path(u8"s\u00f3urce \u65e5\u672c");  // a name of any language
            const fs::path dest = kind == 2 ? source : dir / "dest";
            WriteFile(source, plain);
            if (kind == 1)
                WriteFile(dest, {1, 2, 3});
            const auto before = dir.Names();
            int calls = 0;
            SetFileFaultHook([&](FileStep s) { return s == step && calls++ == 0 ? static_cast<int>(error) : 0; });
            std::optional<FailureKind> failed;
            try {
                engine->EncryptFile(source, dest, u"key");
            } catch (const Failure& f) {
                failed = f.Kind();
            }
            SetFileFaultHook({});
            const std::string scene =
                "step " + std::to_string(static_cast<int>(step)) + " kind " + std::to_string(kind);
            ASSERT_TRUE(failed) << scene;
            EXPECT_EQ(*failed, kindOf(error)) << scene;
            EXPECT_EQ(dir.Names(), before) << scene;
            EXPECT_EQ(ReadFile(source), plain) << scene;
            if (kind == 1) {
                EXPECT_EQ(ReadFile(dest), (ByteArray{1, 2, 3})) << scene;
            }
        }
    }
    // A program that holds the destination for a moment (a virus scanner) delays the rename,
    // and fails it only when it goes on holding it.
    for (const int held : {3, 1000}) {
        TempDir dir;
        WriteFile(dir / "plain", plain);
        WriteFile(dir / "dest", {1, 2, 3});
        int calls = 0;
        SetFileFaultHook(
            [&](FileStep s) { return s == FileStep::Rename && calls++ < held ? ERROR_SHARING_VIOLATION : 0; });
        std::optional<FailureKind> failed;
        try {
            engine->EncryptFile(dir / "plain", dir / "dest", u"key");
        } catch (const Failure& f) {
            failed = f.Kind();
        }
        SetFileFaultHook({});
        EXPECT_EQ(failed, held == 3 ? std::nullopt : std::optional(FailureKind::PermissionDenied)) << held;
        EXPECT_EQ(ReadFile(dir / "dest").size() > 3, held == 3);
        EXPECT_EQ(dir.Names(), (std::set<std::string>{"dest", "plain"}));
    }
}

TEST(WindowsFiles, TheSameFileByAnotherNameAndANewFileInPlace) {
    TempDir dir;
    WriteFile(dir / "plain", TestBytes(5000));
    fs::create_directory(dir / "sub");
    fs::create_hard_link(dir / "plain", dir / "hard");
    EXPECT_TRUE(SameFile(dir / "plain", dir / "hard"));
    EXPECT_TRUE(SameFile(dir / "plain", dir / "sub" / ".." / "PLAIN"));  // names are not case-sensitive
    EXPECT_FALSE(SameFile(dir / "plain", dir / "sub"));
    EXPECT_FALSE(SameFile(dir / "plain", dir / "missing"));

    // In place: the source is replaced by one rename while it is still open for reading.
    auto engine = CreateEngine(u"Gost");
    engine->EncryptFile(dir / "plain", dir / "plain", u"key");
    EXPECT_TRUE(engine->DecryptFile(dir / "plain", dir / "plain", u"key"));
    EXPECT_EQ(ReadFile(dir / "plain"), TestBytes(5000));
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"hard", "plain", "sub"}));
}

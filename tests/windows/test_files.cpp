// The Windows file unit under faults, through the same seam as on Linux: each system call of
// an encryption failed in turn, in a new file, over an existing one and in place. Whatever
// fails, the source is untouched, an existing destination is wholly old, and nothing else is
// left in the folder (the file being made was marked for deletion from the start).
#include <gtest/gtest.h>

#include <set>

#include "base/Failure.h"
#include "base/Files.h"
#include "engines/Registry.h"
#include "tests/TempDir.h"

using namespace tavorin;
using namespace tavorin::test;
namespace fs = std::filesystem;

TEST(WindowsFiles, EveryStepFailedInTurnLeavesTheFolderAsItWas) {
    const FileStep steps[] = {FileStep::OpenSource, FileStep::ReadSource, FileStep::CreateTemporary,
                              FileStep::Write,      FileStep::Sync,       FileStep::Rename};
    const ByteArray plain = TestBytes((2u << 20) + 777, 5);  // several chunks
    auto engine = CreateEngine(u"Twofish");
    for (const FileStep step : steps) {
        for (const int kind : {0, 1, 2}) {  // a new destination, an existing one, the source itself
            TempDir dir;
            const fs::path source = dir.path() / fs::path(u8"s\u00f3urce \u65e5\u672c");  // a name of any language
            const fs::path dest = kind == 2 ? source : dir / "dest";
            WriteFile(source, plain);
            if (kind == 1)
                WriteFile(dest, {1, 2, 3});
            const auto before = dir.Names();
            int calls = 0;
            SetFileFaultHook([&](FileStep s) { return s == step && calls++ == 0 ? ENOSPC : 0; });
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
            EXPECT_TRUE(Failure::IsFileError(*failed)) << scene;
            EXPECT_EQ(dir.Names(), before) << scene;
            EXPECT_EQ(ReadFile(source), plain) << scene;
            if (kind == 1) {
                EXPECT_EQ(ReadFile(dest), (ByteArray{1, 2, 3})) << scene;
            }
        }
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

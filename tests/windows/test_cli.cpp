// tavorin-cli.exe as a Windows user runs it, started through CreateProcessW with pipes: names
// in any language, messages byte for byte, and nothing left behind by a program ended midway.
#include <gtest/gtest.h>

#include <set>

#include "tests/TempDir.h"
#include "windows/Runner.h"

using namespace tavorin;
using namespace tavorin::test;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kKey = {"--key-env", "K"};
const std::vector<std::string> kKeyEnv = {"K=correct horse"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Utf8(const fs::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

}  // namespace

TEST(WindowsCli, NamesInAnyLanguageAndMessagesByteForByte) {
    TempDir dir;
    const fs::path plain = dir.path() / fs::path(u8"\u0141\u00f3d\u017a \u65e5\u672c.txt");
    const fs::path sealed = dir.path() / fs::path(u8"\u0441\u0435\u0439\u0444.tav");
    const ByteArray bytes = {'a', '\r', '\n', 'b', '\n', 0, 0x1A, 0xFF, '\r'};  // no CR added or taken
    WriteFile(plain, bytes);
    CliResult r = RunCliProgram(With({"encrypt-file", "-c", "Skipjack", Utf8(plain), Utf8(sealed)}, kKey), {}, kKeyEnv);
    ASSERT_EQ(r.code, 0) << r.err;
    r = RunCliProgram(With({"encrypt-file", Utf8(plain), Utf8(sealed)}, kKey), {}, kKeyEnv);
    EXPECT_EQ(r.code, 4);  // exists, and stays as it was
    EXPECT_NE(r.err.find(Utf8(sealed)), std::string::npos) << r.err;
    fs::remove(plain);
    r = RunCliProgram(With({"decrypt-file", Utf8(sealed), Utf8(plain)}, kKey), {}, kKeyEnv);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadFile(plain), bytes);
    // In place: the source is closed before the output replaces it.
    for (const char* command : {"encrypt-file", "decrypt-file"}) {
        r = RunCliProgram(With({command, "--force", Utf8(plain), Utf8(plain)}, kKey), {}, kKeyEnv);
        ASSERT_EQ(r.code, 0) << command << ": " << r.err;
    }
    EXPECT_EQ(ReadFile(plain), bytes);

    const std::string message(bytes.begin(), bytes.end());
    const CliResult e = RunCliProgram(With({"encrypt", "--encoding", "utf-8"}, kKey), "caf\xC3\xA9 \r\n", kKeyEnv);
    ASSERT_EQ(e.code, 0) << e.err;
    ASSERT_GE(e.out.size(), 2u);
    EXPECT_EQ(e.out.find('\r'), std::string::npos);  // LF into a pipe
    const CliResult d = RunCliProgram(With({"decrypt", "--encoding", "utf-8"}, kKey), e.out, kKeyEnv);
    EXPECT_EQ(d.code, 0) << d.err;
    EXPECT_EQ(d.out, "caf\xC3\xA9 \r\n");
    EXPECT_EQ(dir.Entries(), 2u);
}

TEST(WindowsCli, AProgramEndedMidwayLeavesNothing) {
    TempDir dir;
    WriteFile(dir / "big", TestBytes(std::size_t{64} << 20));
    WriteFile(dir / "old", {1, 2, 3});
    for (const int ms : {30, 150, 400, 1000}) {
        for (const char* dest : {"new", "old"}) {
            const CliResult r = RunCliProgram(
                With({"encrypt-file", "--force", Utf8(dir / "big"), Utf8(dir / dest)}, kKey), {}, kKeyEnv, {}, ms);
            if (r.code == 137) {  // ended midway: the destination as it was, nothing beside it
                EXPECT_EQ(dir.Names(), (std::set<std::string>{"big", "old"})) << ms << " ms, " << dest;
                EXPECT_EQ(ReadFile(dir / "old"), (ByteArray{1, 2, 3}));
            } else {
                ASSERT_EQ(r.code, 0) << r.err;
                fs::remove(dir / "new");
                WriteFile(dir / "old", {1, 2, 3});
            }
        }
    }
}

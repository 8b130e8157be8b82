// tavorin-cli as a user runs it: the built program with pipes, files, keys from files and the
// environment, and its exit codes; and the commands in-process where the terminal matters.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "TempDir.h"
#include "base/AnsiCodePage.h"
#include "base/Descriptors.h"
#include "base/Failure.h"
#include "base/Files.h"
#include "base/KeyGuess.h"
#include "cli/Cli.h"
#include "cli/Input.h"
#include "cli/MessageStream.h"
#include "codecs/CSHA256.h"
#include "engines/FrameFormat.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"
#include "tests/cli/Runner.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#endif

using namespace tavorin;
namespace fs = std::filesystem;

namespace {

using Result = test::CliResult;

// The built program, started through the system's own process calls (cli/Runner.h).
Result RunCli(const std::vector<std::string>& args, const std::string& input = {},
              const std::vector<std::string>& env = {}, const std::string& stdinFile = {}) {
    return test::RunCliProgram(args, input, env, stdinFile);
}

using test::TempDir;

std::string In(const TempDir& dir, const std::string& name) { return PathToUtf8(dir / name); }

void WriteFile(const fs::path& p, const std::string& content) {
    test::WriteFile(p, ByteArray(content.begin(), content.end()));
}

std::string ReadFileText(const fs::path& p) {
    const ByteArray b = test::ReadFile(p);
    return std::string(b.begin(), b.end());
}

const std::vector<std::string> kKeyEnv = {"TAVORIN_KEY=correct horse"};
const std::vector<std::string> kWrongEnv = {"TAVORIN_KEY=wrong horse"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Result Encrypt(const std::string& message, const std::vector<std::string>& extra = {}) {
    return RunCli(With({"encrypt", "--key-env", "TAVORIN_KEY"}, extra), message, kKeyEnv);
}

Result Decrypt(const std::string& envelope, const std::vector<std::string>& extra = {},
               const std::vector<std::string>& env = kKeyEnv) {
    return RunCli(With({"decrypt", "--key-env", "TAVORIN_KEY"}, extra), envelope, env);
}

std::vector<std::string> CipherNames() {
    std::vector<std::string> names;
    for (const auto n : EngineNames)
        names.push_back(ToUtf8(n));
    return names;
}

}  // namespace

TEST(CliProgram, CiphersListsAllFiveInOrder) {
    const Result r = RunCli({"ciphers"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Blowfish\nDES\nGost\nSkipjack\nTwofish\n");
}

TEST(CliProgram, HelpForEveryCommand) {
    for (const char* c : {"ciphers", "encrypt", "decrypt", "encrypt-file", "decrypt-file"}) {
        const Result r = RunCli({c, "--help"});
        EXPECT_EQ(r.code, 0) << c;
        EXPECT_NE(r.out.find("tavorin-cli " + std::string(c)), std::string::npos) << r.out;
        EXPECT_EQ(RunCli({"help", c}).out, r.out);
    }
    const Result top = RunCli({"--help"});
    EXPECT_EQ(top.code, 0);
    EXPECT_NE(top.out.find("decrypt-file"), std::string::npos);
    EXPECT_EQ(RunCli({}).code, 1);
    EXPECT_EQ(RunCli({"frobnicate"}).code, 1);
    EXPECT_EQ(RunCli({"encrypt", "--no-such-option"}).code, 1);
    EXPECT_EQ(RunCli({"encrypt", "--key-env", "A", "--key-file", "b"}).code, 1);
}

TEST(CliProgram, MessagesRoundTripExactly) {
    const std::string messages[] = {
        "Meet me at the station.",
        "ends with a newline\n",
        "windows\r\nline\r\nendings\r\n",
        "na\xC3\xAFve \xE2\x82\xAC 5 \xC5\xA0",  // naïve € 5 Š: all Windows-1252
        "x",
        "",
    };
    for (const auto& m : messages) {
        const Result e = Encrypt(m);
        ASSERT_EQ(e.code, 0) << e.err;
        ASSERT_FALSE(e.out.empty());
        EXPECT_EQ(e.out.back(), '\n');
        const std::string env = e.out.substr(0, e.out.size() - 1);
        EXPECT_EQ(env.find('\n'), std::string::npos);
        EXPECT_EQ(env.size() % 3, 2u);
        const Result d = Decrypt(e.out);
        EXPECT_EQ(d.code, 0) << d.err;
        EXPECT_EQ(d.out, m);
        EXPECT_EQ(d.err, "");
    }
}

TEST(CliProgram, EveryEngineAndSeveralPasses) {
    for (const auto& name : CipherNames()) {
        for (const char* passes : {"1", "3"}) {
            const std::string m = "message for " + name;
            std::string upper = name;
            for (auto& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            const Result e = Encrypt(m, {"-c", upper, "-p", passes});
            ASSERT_EQ(e.code, 0) << e.err;
            const Result d = Decrypt(e.out, {"--cipher", name, "--passes", passes});
            EXPECT_EQ(d.code, 0) << d.err;
            EXPECT_EQ(d.out, m);
        }
    }
    EXPECT_EQ(Encrypt("m", {"-p", "0"}).code, 1);
    EXPECT_EQ(Encrypt("m", {"-p", "32768"}).code, 1);
    EXPECT_EQ(Encrypt("m", {"-c", "Rot13"}).code, 1);
}

TEST(CliProgram, EncodingsAndRefusedText) {
    const std::string polish = "\xC5\x81\xC3\xB3\x64\xC5\xBA \xE6\x97\xA5\xE6\x9C\xAC";  // Łódź 日本
    const Result refused = Encrypt(polish);
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("U+0141"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--encoding utf-8"), std::string::npos) << refused.err;

    const Result e = Encrypt(polish, {"--encoding", "utf-8"});
    ASSERT_EQ(e.code, 0) << e.err;
    const Result d = Decrypt(e.out, {"--encoding", "UTF-8"});
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, polish);

    // A decomposed letter is composed before Windows-1252 takes it.
    const Result composed = Encrypt("cafe\xCC\x81");
    ASSERT_EQ(composed.code, 0) << composed.err;
    EXPECT_EQ(Decrypt(composed.out).out, "caf\xC3\xA9");

    const Result bad = Encrypt("abc\xFF\xFE");
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("UTF-8"), std::string::npos);
    EXPECT_EQ(Encrypt("abc\xC0\xAF", {"--encoding", "utf-8"}).code, 1);  // overlong
    EXPECT_EQ(Encrypt("m", {"--encoding", "latin-1"}).code, 1);
}

TEST(CliProgram, KeysFromFilesTheEnvironmentAndNoTerminal) {
    TempDir dir;
    WriteFile(dir / "key", "correct horse\r\nsecond line is no key\n");
    const Result e = RunCli({"encrypt", "--key-file", In(dir, "key")}, "hello");
    ASSERT_EQ(e.code, 0) << e.err;
    EXPECT_EQ(Decrypt(e.out).out, "hello");

    WriteFile(dir / "empty", "\n");
    EXPECT_EQ(RunCli({"encrypt", "--key-file", In(dir, "empty")}, "hello").code, 1);
    EXPECT_EQ(RunCli({"encrypt", "--key-file", In(dir, "missing")}, "hello").code, 4);
    WriteFile(dir / "latin1", "caf\xE9\n");
    EXPECT_EQ(RunCli({"encrypt", "--key-file", In(dir, "latin1")}, "hello").code, 1);
    WriteFile(dir / "polish", "\xC5\x81ukasz\n");
    const Result polish = RunCli({"encrypt", "--key-file", In(dir, "polish")}, "hello");
    EXPECT_EQ(polish.code, 1);
    EXPECT_NE(polish.err.find("U+0141"), std::string::npos);
    // A combining accent is normalised (by ICU, which the program opens only for such a key):
    // the key opens what its precomposed form sealed.
    const Result combined = RunCli({"encrypt", "--key-env", "TAVORIN_KEY"}, "hello", {"TAVORIN_KEY=cafe\xCC\x81"});
    ASSERT_EQ(combined.code, 0) << combined.err;
    EXPECT_EQ(Decrypt(combined.out, {}, {"TAVORIN_KEY=caf\xC3\xA9"}).out, "hello");

    EXPECT_EQ(RunCli({"encrypt", "--key-env", "UNSET_VARIABLE"}, "hello").code, 1);

    // No key option, no terminal: a clear error, standard input never taken for the key.
    const Result none = RunCli({"encrypt"}, "hello");
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("no terminal"), std::string::npos) << none.err;
    EXPECT_NE(none.err.find("--key-file"), std::string::npos);
}

TEST(CliProgram, DamagedEnvelopesAndTheirExitCodes) {
    const Result e = Encrypt("the whole message");
    ASSERT_EQ(e.code, 0);
    std::string env = e.out.substr(0, e.out.size() - 1);

    std::string changed = env;
    changed[env.size() - 1] = changed.back() == '0' ? '1' : '0';
    const Result auth = Decrypt(changed);
    EXPECT_EQ(auth.code, 2);
    EXPECT_EQ(auth.out, "");
    EXPECT_NE(auth.err.find("tavorin-cli: the envelope is damaged (its digest does not match)\n"), std::string::npos);
    EXPECT_EQ(Decrypt(env.substr(0, env.size() - 3)).code, 2);  // last pair missing

    const Result wrong = Decrypt(env, {}, kWrongEnv);
    EXPECT_EQ(wrong.code, 3);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err, "tavorin-cli: wrong key, cipher or passes\n");

    const Result plain = Decrypt("This is not an envelope\n");
    EXPECT_EQ(plain.code, 1);
    EXPECT_NE(plain.err.find("tavorin-cli: the input is not an envelope\n"), std::string::npos);
    std::string lower = env;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(Decrypt(lower).out, "the whole message");
    EXPECT_EQ(Decrypt("41 42 43").code, 1);  // fewer than 64 pairs
    EXPECT_EQ(Decrypt("").code, 1);

    // Around an envelope and inside it, what mail does: spaces, tabs, LF and CRLF.
    EXPECT_EQ(Decrypt("\r\n  \t" + env + " \r\n\r\n").out, "the whole message");
    std::string folded;
    for (std::size_t i = 0, col = 0; i < env.size(); i += 3) {
        if (col + 3 > 76) {
            folded += "\r\n";
            col = 0;
        } else if (i) {
            folded += ' ';
            ++col;
        }
        folded += env.substr(i, 2);
        col += 2;
    }
    ASSERT_NE(folded.find("\r\n"), std::string::npos);
    const Result unfolded = Decrypt(folded + "\r\n");
    EXPECT_EQ(unfolded.code, 0) << unfolded.err;
    EXPECT_EQ(unfolded.out, "the whole message");
}

// The cipher and the passes found, also for files; the envelope found in a mail; --wrap; the
// other encoding noticed; text that cannot hold an envelope refused without being read whole.
TEST(CliProgram, FindsCipherPassesAndEnvelopeAndRefusesEarly) {
    const Result e = Encrypt("found", {"-c", "Twofish", "-p", "2", "--wrap", "40"});
    ASSERT_EQ(e.code, 0) << e.err;
    std::istringstream lines(e.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.size() <= 40 && line.size() % 3 == 2) << line;
    const Result d = Decrypt("Hi Bob,\n\n" + e.out + "-- \nAnn, 12 05 23\n", {"-v"});
    EXPECT_EQ(d.out, "found") << d.err;
    EXPECT_EQ(d.err, "opened with Twofish, 2 passes\n");
    // Past the memory it locks, a message opens all the same, and -v alone says it was not locked.
    const std::string large(9u << 20, 'L');
    const std::string sealed = Encrypt(large).out;
    const Result quiet = Decrypt(sealed), told = Decrypt(sealed, {"-v"});
    EXPECT_TRUE(quiet.out == large && told.out == large);
    EXPECT_EQ(quiet.err, "");
    EXPECT_NE(told.err.find("note: the message could not be kept out of swap"), std::string::npos) << told.err;
    const Result fewer = Decrypt(e.out, {"-p", "1"});
    EXPECT_EQ(fewer.code, 3);
    EXPECT_EQ(fewer.out, "");
    EXPECT_NE(fewer.err.find("the result is itself a frame: it was sealed with more passes (try -p auto)"),
              std::string::npos);
    EXPECT_NE(Decrypt(e.out, {"-c", "Blowfish"}).err.find("wrong key, cipher or passes"), std::string::npos);
    EXPECT_EQ(Decrypt(e.out + e.out).code, 1);

    const Result utf8 = Decrypt(Encrypt("\xC5\x81\xC3\xB3\x64\xC5\xBA", {"--encoding", "utf-8"}).out);  // Łódź
    EXPECT_NE(utf8.err.find("try --encoding utf-8"), std::string::npos);
    const Result latin = Decrypt(Encrypt("caf\xC3\xA9").out, {"--encoding", "utf-8"});
    EXPECT_EQ(latin.code, 1);
    EXPECT_EQ(latin.out, "");
    EXPECT_NE(latin.err.find("the message is not UTF-8; it was probably sealed as Windows-1252 (try --encoding "
                             "windows-1252)"),
              std::string::npos);

    TempDir dir;
    WriteFile(dir / "plain", "a file");
    const std::vector<std::string> files = {In(dir, "plain"), In(dir, "sealed"), In(dir, "back")};
    ASSERT_EQ(RunCli({"encrypt-file", "-c", "Gost", "--key-env", "TAVORIN_KEY", files[0], files[1]}, {}, kKeyEnv).code,
              0);
    EXPECT_EQ(RunCli({"decrypt-file", "--key-env", "TAVORIN_KEY", files[1], files[2]}, {}, kKeyEnv).code, 0);
    EXPECT_EQ(ReadFileText(dir / "back"), "a file");

    WriteFile(dir / "zeros", "");
    test::ResizeFile(dir / "zeros", std::uint64_t{3} << 30);
    std::string base64;
    while (base64.size() < (std::size_t{16} << 20))
        base64 += "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5\n";
    // Timed against two refusals of tiny inputs, so that a loaded machine or wine's start-up does not
    // fail it; reading 3 GiB whole costs far more than the margin.
    WriteFile(dir / "tiny", "00");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Decrypt("", {"-i", In(dir, "tiny")}).code, 1);
    EXPECT_EQ(Decrypt("00").code, 1);
    const auto tiny = std::chrono::steady_clock::now() - start;
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(Decrypt("", {"-i", In(dir, "zeros")}).code, 1);
    EXPECT_EQ(Decrypt(base64).code, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2 * tiny + std::chrono::milliseconds(500));
}

TEST(CliProgram, FilesAppearOnlyOnSuccess) {
    TempDir dir;
    WriteFile(dir / "message.txt", "from a file\n");
    const Result e = Encrypt("", {"-i", In(dir, "message.txt"), "-o", In(dir, "message.env")});
    ASSERT_EQ(e.code, 0) << e.err;
    EXPECT_EQ(e.out, "");
    const std::string env = ReadFileText(dir / "message.env");
    EXPECT_EQ(env.back(), '\n');

    const Result d = Decrypt("", {"-i", In(dir, "message.env"), "-o", In(dir, "out.txt")});
    EXPECT_EQ(d.code, 0) << d.err;
    EXPECT_EQ(ReadFileText(dir / "out.txt"), "from a file\n");

    // A wrong key or a damaged envelope leaves the destination as it was, or absent.
    WriteFile(dir / "keep.txt", "precious");
    EXPECT_EQ(Decrypt("", {"-i", In(dir, "message.env"), "-f", "-o", In(dir, "keep.txt")}, kWrongEnv).code, 3);
    EXPECT_EQ(ReadFileText(dir / "keep.txt"), "precious");
    EXPECT_EQ(Decrypt("", {"-i", In(dir, "message.env"), "-o", In(dir, "new.txt")}, kWrongEnv).code, 3);
    EXPECT_FALSE(fs::exists(dir / "new.txt"));
    EXPECT_EQ(Decrypt("zz", {"-f", "-o", In(dir, "keep.txt")}).code, 1);
    EXPECT_EQ(ReadFileText(dir / "keep.txt"), "precious");
    EXPECT_EQ(dir.Entries(), 4u);  // no temporary files left behind

    EXPECT_EQ(Encrypt("", {"-i", In(dir, "missing.txt")}).code, 4);
    EXPECT_EQ(Encrypt("m", {"-o", In(dir, "no/such/dir/out")}).code, 4);
    EXPECT_EQ(Decrypt("", {"-i", In(dir, "missing.env")}).code, 4);

    // The same file in and out.
    WriteFile(dir / "inplace", "rewrite me");
    ASSERT_EQ(Encrypt("", {"--force", "-i", In(dir, "inplace"), "-o", In(dir, "inplace")}).code, 0);
    ASSERT_EQ(Decrypt("", {"--force", "-i", In(dir, "inplace"), "-o", In(dir, "inplace")}).code, 0);
    EXPECT_EQ(ReadFileText(dir / "inplace"), "rewrite me");
}

TEST(CliProgram, FileCommands) {
    TempDir dir;
    const ByteArray bytes = test::TestBytes(100000, 7);
    const std::string data(bytes.begin(), bytes.end());
    WriteFile(dir / "plain.bin", data);
    for (const auto& name : CipherNames()) {
        const Result e = RunCli(
            {"encrypt-file", "-fc", name, "--key-env", "TAVORIN_KEY", In(dir, "plain.bin"), In(dir, "cipher.bin")}, {},
            kKeyEnv);
        ASSERT_EQ(e.code, 0) << e.err;
        const Result d = RunCli(
            {"decrypt-file", "-fc", name, "--key-env", "TAVORIN_KEY", In(dir, "cipher.bin"), In(dir, "back.bin")}, {},
            kKeyEnv);
        ASSERT_EQ(d.code, 0) << d.err;
        EXPECT_EQ(ReadFileText(dir / "back.bin"), data);

        WriteFile(dir / "dest.bin", "untouched");
        const Result w = RunCli(
            {"decrypt-file", "-fc", name, "--key-env", "TAVORIN_KEY", In(dir, "cipher.bin"), In(dir, "dest.bin")}, {},
            kWrongEnv);
        EXPECT_EQ(w.code, 3);
        EXPECT_EQ(w.err, "tavorin-cli: wrong key, or the file is damaged or cut\n");
        EXPECT_EQ(ReadFileText(dir / "dest.bin"), "untouched");
    }
    const auto key = kKeyEnv;
    EXPECT_EQ(RunCli({"encrypt-file", "--key-env", "TAVORIN_KEY", In(dir, "missing"), In(dir, "x")}, {}, key).code, 4);
    EXPECT_EQ(
        RunCli({"encrypt-file", "--key-env", "TAVORIN_KEY", In(dir, "plain.bin"), In(dir, "no/dir/x")}, {}, key).code,
        4);
    WriteFile(dir / "odd.bin", "12345");
    EXPECT_EQ(RunCli({"decrypt-file", "--key-env", "TAVORIN_KEY", In(dir, "odd.bin"), In(dir, "x")}, {}, key).code, 2);
    EXPECT_EQ(RunCli({"encrypt-file", "--key-env", "TAVORIN_KEY", In(dir, "plain.bin")}, {}, key).code, 1);
    EXPECT_EQ(RunCli({"encrypt-file", "-c", "Enigma", "--key-env", "TAVORIN_KEY", In(dir, "plain.bin"), In(dir, "x")},
                     {}, key)
                  .code,
              1);
    EXPECT_FALSE(fs::exists(dir / "x"));
}

TEST(CliProgram, NothingIsReplacedWithoutForce) {
    TempDir dir;
    WriteFile(dir / "plain", "secret");
    WriteFile(dir / "old", "old");
    fs::create_directory(dir / "sub");
    // Windows grants symbolic links to administrators and developer mode only (wine to nobody).
    std::error_code noLinks;
    fs::create_symlink("plain", dir / "link", noLinks);
    fs::create_hard_link(dir / "plain", dir / "hard");
    const std::string plain = In(dir, "plain"), old = In(dir, "old");
    // Refused before a key is asked for: here there is no key source and no terminal.
    for (const auto& args : std::vector<std::vector<std::string>>{{"encrypt-file", plain, old},
                                                                  {"decrypt-file", plain, old},
                                                                  {"encrypt", "-o", old},
                                                                  {"decrypt", "-o", old}}) {
        const Result r = RunCli(args, "m");
        EXPECT_EQ(r.code, 4);
        EXPECT_EQ(r.err, "tavorin-cli: " + old + " exists (use --force to replace it)\n");
    }
    EXPECT_NE(RunCli({"encrypt-file", "-f", plain, In(dir, "sub")}, "m").err.find("sub is a folder"),
              std::string::npos);
    for (const std::string& same : {In(dir, noLinks ? "hard" : "link"), In(dir, "hard"), In(dir, "sub/../plain")}) {
        const Result r = RunCli({"encrypt-file", plain, same}, "m");
        EXPECT_EQ(r.code, 4);
        EXPECT_NE(r.err.find("are one file (use --force"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFileText(dir / "plain"), "secret");
    EXPECT_EQ(ReadFileText(dir / "old"), "old");
    // With --force it is replaced; - is standard input and output.
    EXPECT_EQ(RunCli({"encrypt-file", "-f", "--key-env", "TAVORIN_KEY", plain, old}, {}, kKeyEnv).code, 0);
    EXPECT_EQ(RunCli({"decrypt-file", "--key-env", "TAVORIN_KEY", old, "-"}, {}, kKeyEnv).out, "secret");
    EXPECT_EQ(Decrypt(Encrypt("m", {"-i", "-", "-o", "-"}).out, {"-i", "-", "-o", "-"}).out, "m");
}

TEST(CliProgram, ExitCodesAndErrorsInTheCommandLinesOwnWords) {
    std::ifstream file(TAVORIN_TEST_DATA "/../../README.md");
    const std::string readme{std::istreambuf_iterator<char>(file), {}};
    const std::string help = RunCli({"--help"}).out;
    EXPECT_NE(help.find(cli::ExitCodeTable()), std::string::npos) << help;
    EXPECT_NE(readme.find(cli::ExitCodeTable()), std::string::npos) << "README lacks the table of --help";
    std::string words = readme + help;
    for (const char* c : {"encrypt", "decrypt", "encrypt-file", "decrypt-file"})
        words += RunCli({c, "--help"}).out;
    std::transform(words.begin(), words.end(), words.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(words.find("authenticat"), std::string::npos);

    TempDir dir;
    const Result missing =
        RunCli({"encrypt-file", "--key-env", "TAVORIN_KEY", In(dir, "missing"), In(dir, "x")}, {}, kKeyEnv);
    EXPECT_EQ(missing.code, 4);
    EXPECT_EQ(missing.err, "tavorin-cli: " + In(dir, "missing") + ": no such file\n");
    const Result option = RunCli({"encrypt", "--no-such-option"});
    EXPECT_EQ(option.err.rfind("tavorin-cli: ", 0), 0u) << option.err;
}

TEST(CliProgram, KeySourcesPipesLineEndsAndNames) {
    TempDir dir;
    const std::string sealed = Encrypt("m").out;
    WriteFile(dir / "envelope", sealed);
    const auto withKeyFile = [&](const std::string& file) { return RunCli({"decrypt", "--key-file", file}, sealed); };
    const auto opens = [&](const std::string& keyFileContent) {
        WriteFile(dir / "key", keyFileContent);
        fs::permissions(dir / "key", fs::perms::owner_read | fs::perms::owner_write);
        const Result r = withKeyFile(In(dir, "key"));
        EXPECT_EQ(r.code == 3 || r.err.empty(), true) << r.err;
        return r.code;
    };
    // One line end, LF or CR LF, and nothing else is taken off a key file's line or a value.
    for (const char* ending : {"", "\n", "\r\n", "\nsecond line"})
        EXPECT_EQ(opens(std::string("correct horse") + ending), 0);
    EXPECT_EQ(opens("correct horse\r"), 3);
    // A UTF-8 byte-order mark is dropped at the very start of the line, and named elsewhere.
    EXPECT_EQ(opens("\xEF\xBB\xBF"
                    "correct horse\n"),
              0);
    EXPECT_NE(Decrypt(sealed, {}, {"TAVORIN_KEY=\xEF\xBB\xBFk"}).err.find("U+FEFF (byte-order mark)"),
              std::string::npos);
    const std::vector<std::string> utf8 = {"--encoding", "utf-8"};
    EXPECT_EQ(Decrypt(Encrypt("\xEF\xBB\xBFm\xEF\xBB\xBF", utf8).out, utf8).out, "m\xEF\xBB\xBF");
    EXPECT_EQ(Decrypt(sealed, {}, {"TAVORIN_KEY=correct horse\r\n"}).code, 0);
    EXPECT_EQ(Decrypt(sealed, {}, {"TAVORIN_KEY=correct horse\n\n"}).code, 3);
    // The longest line, with its line end.
    for (const char* ending : {"\n", "\r\n"}) {
        WriteFile(dir / "long", std::string(65536, 'k') + ending);
        EXPECT_EQ(RunCli({"encrypt", "--key-file", In(dir, "long")}, "m").code, 0);
    }
#ifndef _WIN32
    // Others may read it: a warning, not a refusal. (On Windows an access list decides, which a
    // file inherits from the user's own folders.)
    WriteFile(dir / "open-key", "correct horse\n");
    fs::permissions(dir / "open-key", fs::perms::owner_read | fs::perms::group_read);
    const Result warned = withKeyFile(In(dir, "open-key"));
    EXPECT_EQ(warned.code, 0);
    EXPECT_NE(warned.err.find("tavorin-cli: warning: others can read the key file"), std::string::npos);
    // A pipe, as password managers hand keys over; standard input when the message is not there.
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    const int writer = open((dir / "pipe").c_str(), O_RDWR);
    EXPECT_EQ(write(writer, "correct horse\n", 14), 14);
    EXPECT_EQ(withKeyFile(In(dir, "pipe")).code, 0);
    close(writer);
#endif
    EXPECT_EQ(RunCli({"decrypt", "--key-file", "-", "-i", In(dir, "envelope")}, "correct horse\n").out, "m");
    EXPECT_EQ(RunCli({"decrypt", "--key-file", "-"}, sealed).code, 1);
    // Warnings, not refusals: characters DES does not read, and a key easily guessed.
    const Result des = RunCli({"encrypt", "-c", "DES", "--key-env", "K"}, "m", {"K=password-A"});
    EXPECT_EQ(des.code, 0);
    EXPECT_NE(des.err.find("warning: DES uses only the first 8 characters of the key\n"), std::string::npos);
    if (EstimateKeyGuess("password-A")) {  // where the estimator is installed
        EXPECT_NE(des.err.find("warning: this key could be guessed: about 2^"), std::string::npos) << des.err;
    }
    // A variable needs a name.
    for (const char* name : {"", "-i", "1X"})
        EXPECT_EQ(RunCli({"decrypt", "--key-env", name, "-i", In(dir, "envelope")}, {}, kKeyEnv).code, 1) << name;
}

TEST(CliProgram, InputsPastTheLargestFrameFailAtOnceAndWriteNothing) {
    // Sparse files: nothing of that size may be read, and the program stays small.
    TempDir dir;
    const auto sparse = [&](const std::string& name, std::uint64_t size) {
        WriteFile(dir / name, "");
        test::ResizeFile(dir / name, size);
        return In(dir, name);
    };
    WriteFile(dir / "existing", "kept");
    const auto refused = [](const Result& r) {
        EXPECT_EQ(r.code, 5) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("tavorin-cli: the input is past the size limits\n"), std::string::npos) << r.err;
        EXPECT_LT(r.peakKb, 256 * 1024);
    };
    const std::vector<std::string> key = {"--key-env", "TAVORIN_KEY"};
    for (const std::uint64_t size : {cli::MaxMessageInput + 1, std::uint64_t{1} << 40}) {
        SCOPED_TRACE(size);
        const std::string message = sparse("message", size);
        refused(Encrypt("", {"-i", message}));
        refused(Encrypt("", {"-i", message, "-fo", In(dir, "existing")}));
        refused(RunCli(With({"encrypt", "-o", In(dir, "new")}, key), {}, kKeyEnv, message));
    }
    for (const std::uint64_t size : {cli::MaxEnvelopeInput + 1, std::uint64_t{1} << 40}) {
        SCOPED_TRACE(size);
        const std::string text = sparse("envelope", size);
        refused(Decrypt("", {"-i", text, "-fo", In(dir, "existing")}));
        refused(RunCli(With({"decrypt", "-o", In(dir, "new")}, key), {}, kKeyEnv, text));
    }
    for (const std::uint64_t size : {frame::MaxFrame + 1, std::uint64_t{1} << 40}) {
        SCOPED_TRACE(size);
        const std::string source = sparse("source", size);
        refused(RunCli(With({"encrypt-file", "-f", source, In(dir, "existing")}, key), {}, kKeyEnv));
        refused(RunCli(With({"encrypt-file", source, In(dir, "new")}, key), {}, kKeyEnv));
    }
    // A file may carry a digest of 32 bytes in front of the largest frame.
    for (const std::uint64_t size : {((frame::MaxFrame + 32) / 16 + 1) * 16, std::uint64_t{1} << 40}) {
        SCOPED_TRACE(size);
        const std::string source = sparse("source", size);
        refused(RunCli(With({"decrypt-file", "-f", source, In(dir, "existing")}, key), {}, kKeyEnv));
    }
    EXPECT_EQ(ReadFileText(dir / "existing"), "kept");
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"envelope", "existing", "message", "source"}));
}

TEST(CliProgram, SpecialFilesAndLongLinesEndAtOnce) {
    // What could leave a front end waiting or reading forever: FIFOs with no writer,
    // devices that never end, folders, a key file with no line end.
    TempDir dir;
    fs::create_directory(dir / "folder");
    WriteFile(dir / "message", "m");
#ifdef _WIN32
    const std::vector<std::string> specials = {"NUL", In(dir, "folder")};  // a device, by its name
    const std::set<std::string> names = {"folder", "message"};
#else
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::vector<std::string> specials = {In(dir, "fifo"), "/dev/zero", In(dir, "folder")};
    const std::set<std::string> names = {"fifo", "folder", "message"};
#endif
    const std::vector<std::string> key = {"--key-env", "TAVORIN_KEY"};
    for (const std::string& special : specials) {
        SCOPED_TRACE(special);
        for (const auto& args :
             std::vector<std::vector<std::string>>{{"encrypt", "--key-file", special},
                                                   With({"encrypt", "-i", special}, key),
                                                   With({"decrypt", "-i", special}, key),
                                                   With({"encrypt-file", special, In(dir, "out")}, key),
                                                   With({"decrypt-file", special, In(dir, "out")}, key),
                                                   With({"encrypt", "-o", special}, key),
                                                   With({"encrypt-file", In(dir, "message"), special}, key)}) {
            const Result r = RunCli(args, "m", kKeyEnv);
            // A FIFO is a key file when it has a writer; with none it holds an empty key.
            EXPECT_EQ(r.code, args[1] == "--key-file" && special == In(dir, "fifo") ? 1 : 4)
                << ::testing::PrintToString(args) << r.err;
            EXPECT_EQ(r.out, "");
        }
    }
    EXPECT_EQ(dir.Names(), names);

    // A key file whose first line runs past what is read of it is refused, not cut short:
    // two such keys that differ only further on would be the same key.
    WriteFile(dir / "long-key", std::string(100000, 'k') + "\n");
    const Result longKey = RunCli({"encrypt", "--key-file", In(dir, "long-key")}, "m");
    EXPECT_EQ(longKey.code, 1);
    EXPECT_NE(longKey.err.find("longer"), std::string::npos) << longKey.err;
    WriteFile(dir / "sparse-key", "");
    test::ResizeFile(dir / "sparse-key", std::uint64_t{1} << 40);
    EXPECT_EQ(RunCli({"encrypt", "--key-file", In(dir, "sparse-key")}, "m").code, 1);
    WriteFile(dir / "last-line-key", std::string(1000, 'k'));  // no line end at all: the whole file
    EXPECT_EQ(RunCli({"encrypt", "--key-file", In(dir, "last-line-key")}, "m").code, 0);
}

TEST(CliProgram, NoOptionTakesTheKeyItself) {
    // Only a file, the environment or the terminal: a key on the command line is seen by
    // every user of the machine (ps) and kept in the shell's history.
    for (const char* command : {"encrypt", "decrypt", "encrypt-file", "decrypt-file"}) {
        SCOPED_TRACE(command);
        const Result help = RunCli({command, "--help"});
        ASSERT_EQ(help.code, 0);
        std::set<std::string> keyOptions;
        std::istringstream lines(help.out);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            for (std::string word; words >> word;) {
                if (word.rfind("-", 0) == 0 && word.find("key") != std::string::npos)
                    keyOptions.insert(word);
            }
        }
        EXPECT_EQ(keyOptions, (std::set<std::string>{"--key-file", "--key-env"}));
        EXPECT_NE(help.out.find("asked for on the terminal, without echo"), std::string::npos);
        for (const std::vector<std::string>& attempt : {std::vector<std::string>{"--key", "secret"},
                                                        {"-k", "secret"},
                                                        {"--key=secret"},
                                                        {"--password", "secret"}}) {
            const Result r = RunCli(With({command}, attempt), "m", kKeyEnv);
            EXPECT_EQ(r.code, 1);
            EXPECT_EQ(r.out, "");
        }
    }
}

// encrypt-file and decrypt-file take standard input: a pipe read to its end into a file of no
// name in DEST's folder (nothing of it left), a regular file read where it is; a tar stream
// goes through and back; the key cannot come from standard input too.
TEST(CliProgram, FilesFromStandardInput) {
    TempDir dir;
    const ByteArray bytes = test::TestBytes((3u << 20) + 5, 3);  // several chunks
    const std::string data(bytes.begin(), bytes.end());
    const std::vector<std::string> key = {"--key-env", "TAVORIN_KEY"};
    Result r = RunCli(With({"encrypt-file", "-c", "Twofish", "-", In(dir, "piped.tav")}, key), data, kKeyEnv);
    ASSERT_EQ(r.code, 0) << r.err;
    r = RunCli(With({"decrypt-file", "-", In(dir, "back")}, key), ReadFileText(dir / "piped.tav"), kKeyEnv);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(test::ReadFile(dir / "back"), bytes);
    r = RunCli(With({"encrypt-file", "-", In(dir, "in-place.tav")}, key), {}, kKeyEnv, In(dir, "back"));
    ASSERT_EQ(r.code, 0) << r.err;
    r = RunCli(With({"decrypt-file", "-", "-"}, key), {}, kKeyEnv, In(dir, "in-place.tav"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out == data);
    std::string damaged = ReadFileText(dir / "piped.tav");
    damaged[damaged.size() / 2] ^= 1;
    r = RunCli(With({"decrypt-file", "-", In(dir, "damaged")}, key), damaged, kKeyEnv);
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("standard input is damaged"), std::string::npos) << r.err;
    r = RunCli({"encrypt-file", "--key-file", "-", "-", In(dir, "x")}, "correct horse\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("--key-file - and SOURCE - would both read standard input"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"back", "in-place.tav", "piped.tav"}));
#ifndef _WIN32
    // tar c folder | tavorin-cli encrypt-file ... - folder.tav, and back into tar x.
    fs::create_directories(dir / "folder" / "sub");
    WriteFile(dir / "folder" / "sub" / "note", "a note\n");
    test::WriteFile(dir / "folder" / "data", bytes);
    WriteFile(dir / "k", "correct horse\n");
    const auto tar = [&](const std::string& args, const std::string& input) {
        FILE* pipe = ::popen(("tar -C " + In(dir, "") + " " + args).c_str(), input.empty() ? "r" : "w");
        std::string output;
        char buffer[65536];
        for (std::size_t n; input.empty() && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        if (!input.empty())
            std::fwrite(input.data(), 1, input.size(), pipe);
        EXPECT_EQ(::pclose(pipe), 0) << args;
        return output;
    };
    r = RunCli({"encrypt-file", "-c", "Twofish", "--key-file", In(dir, "k"), "-", In(dir, "folder.tav")},
               tar("-c folder", {}));
    ASSERT_EQ(r.code, 0) << r.err;
    fs::rename(dir / "folder", dir / "original");
    r = RunCli({"decrypt-file", "--key-file", In(dir, "k"), In(dir, "folder.tav"), "-"});
    ASSERT_EQ(r.code, 0) << r.err;
    tar("-x", r.out);
    EXPECT_EQ(ReadFileText(dir / "folder" / "sub" / "note"), "a note\n");
    EXPECT_EQ(test::ReadFile(dir / "folder" / "data"), bytes);
#endif
}

// Names in any language, and a message's bytes given back as they were: no CR added or taken,
// and the envelope's line ends in LF into a pipe (Windows' C runtime would translate all three).
TEST(CliProgram, NamesInAnyLanguageAndMessagesByteForByte) {
    TempDir dir;
    const fs::path plain = dir.path() / fs::path(u8"\u0141\u00f3d\u017a \u65e5\u672c.txt");
    const fs::path sealed = dir.path() / fs::path(u8"\u0441\u0435\u0439\u0444.tav");
    const ByteArray bytes = {'a', '\r', '\n', 'b', '\n', 0, 0x1A, 0xFF, '\r'};
    test::WriteFile(plain, bytes);
    const std::vector<std::string> key = {"--key-env", "TAVORIN_KEY"};
    Result r =
        RunCli(With({"encrypt-file", "-c", "Skipjack", PathToUtf8(plain), PathToUtf8(sealed)}, key), {}, kKeyEnv);
    ASSERT_EQ(r.code, 0) << r.err;
    r = RunCli(With({"encrypt-file", PathToUtf8(plain), PathToUtf8(sealed)}, key), {}, kKeyEnv);
    EXPECT_EQ(r.code, 4);  // exists, and stays as it was
    EXPECT_NE(r.err.find(PathToUtf8(sealed)), std::string::npos) << r.err;
    fs::remove(plain);
    r = RunCli(With({"decrypt-file", PathToUtf8(sealed), PathToUtf8(plain)}, key), {}, kKeyEnv);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(test::ReadFile(plain), bytes);
    // In place: the source is closed before the output replaces it.
    for (const char* command : {"encrypt-file", "decrypt-file"}) {
        r = RunCli(With({command, "--force", PathToUtf8(plain), PathToUtf8(plain)}, key), {}, kKeyEnv);
        ASSERT_EQ(r.code, 0) << command << ": " << r.err;
    }
    EXPECT_EQ(test::ReadFile(plain), bytes);
    const std::string message = "caf\xC3\xA9 \r\n";
    const Result e = Encrypt(message, {"--encoding", "utf-8"});
    ASSERT_EQ(e.code, 0) << e.err;
    EXPECT_EQ(e.out.find('\r'), std::string::npos);
    EXPECT_EQ(Decrypt(e.out, {"--encoding", "utf-8"}).out, message);
    EXPECT_EQ(dir.Entries(), 2u);
}

#ifdef _WIN32
// Ended as Task Manager ends a program, none of its code running (test_cli_kills.cpp sends
// POSIX's signals), or by Ctrl-C or Ctrl-Break, which end it with the code Windows gives (wine 8's
// own handler would give 0): the destination as it was, and nothing beside it.
TEST(CliProgram, AProgramEndedMidwayLeavesNothing) {
    TempDir dir;
    test::WriteFile(dir / "big", test::TestBytes(std::size_t{64} << 20));
    ASSERT_EQ(RunCli({"encrypt-file", "--key-env", "TAVORIN_KEY", In(dir, "big"), In(dir, "sealed")}, {}, kKeyEnv).code,
              0);
    test::WriteFile(dir / "old", {1, 2, 3});
    const std::set<std::string> names = dir.Names();
    using test::Ending;
    for (const Ending how : {Ending::Kill, Ending::CtrlC, Ending::CtrlBreak}) {
        const bool kill = how == Ending::Kill;
        int interrupted = 0;
        for (const int ms : kill ? std::vector<int>{30, 150, 400, 1000} : std::vector<int>{200, 700}) {
            for (const char* dest : {"new", "old"}) {
                for (const char* command : {"encrypt-file", "decrypt-file"}) {
                    if (kill && command[0] == 'd') {
                        continue;
                    }
                    const Result r = test::RunCliProgram({command, "--force", "--key-env", "TAVORIN_KEY",
                                                          In(dir, command[0] == 'e' ? "big" : "sealed"), In(dir, dest)},
                                                         {}, kKeyEnv, {}, ms, how);
                    if (r.code == (kill ? 137 : static_cast<int>(0xC000013Au))) {  // STATUS_CONTROL_C_EXIT
                        interrupted += !kill;
                        EXPECT_EQ(dir.Names(), names) << ms << " ms, " << command << " " << dest;
                        EXPECT_EQ(test::ReadFile(dir / "old"), (ByteArray{1, 2, 3}));
                    } else {
                        ASSERT_EQ(r.code, 0) << r.err;
                        fs::remove(dir / "new");
                        test::WriteFile(dir / "old", {1, 2, 3});
                    }
                }
            }
        }
        EXPECT_TRUE(kill || interrupted > 0) << "no interrupt " << static_cast<int>(how) << " came while writing";
    }
}
#endif

// --- On a terminal --------------------------------------------------------------------------

// A pseudo-terminal is POSIX's; Windows' console prompt is read by base/windows/Terminal.cpp.
#ifndef _WIN32
namespace {

struct TerminalResult {
    Result result;
    std::string screen;  // everything the terminal received
    bool echoRestored = false;
};

bool ReadyWithin(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

// Runs the program with a pseudo-terminal as its controlling terminal (standard error goes
// there too), standard input a pipe holding `input`, standard output a pipe; once "Key: "
// shows on the terminal, types `typed` and Enter, and at "Key again: " `again` (or `typed`).
TerminalResult RunOnTerminal(const std::vector<std::string>& args, const std::string& input, const std::string& typed,
                             const std::string& again = {}) {
    TerminalResult t;
    int inPipe[2], outPipe[2];
    EXPECT_EQ(pipe(inPipe), 0);
    EXPECT_EQ(pipe(outPipe), 0);
    std::vector<std::string> store = {TAVORIN_CLI_PATH};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string asan = "ASAN_OPTIONS=detect_leaks=1";
    char* envp[] = {asan.data(), nullptr};

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1]})
            close(fd);
        execve(argv[0], argv.data(), envp);
        _exit(127);
    }
    EXPECT_GT(pid, 0);
    close(inPipe[0]);
    close(outPipe[1]);
    EXPECT_EQ(write(inPipe[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(inPipe[1]);

    char buf[4096];
    const std::string prompts[] = {"Key: ", "Key again: "}, answers[] = {typed, again.empty() ? typed : again};
    std::size_t answered = 0;
    for (;;) {
        if (!ReadyWithin(master, 30000)) {
            ADD_FAILURE() << "the terminal stayed silent; it shows: " << t.screen;
            kill(pid, SIGKILL);
            break;
        }
        const ssize_t got = read(master, buf, sizeof buf);
        if (got <= 0)
            break;  // EIO: the program closed the terminal
        t.screen.append(buf, static_cast<std::size_t>(got));
        if (answered < 2 && t.screen.find(prompts[answered]) != std::string::npos) {
            const std::string line = answers[answered++] + "\r";  // Enter, as the terminal turns it into \n
            EXPECT_EQ(write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        }
    }
    for (ssize_t got; (got = read(outPipe[0], buf, sizeof buf)) > 0;) {
        t.result.out.append(buf, static_cast<std::size_t>(got));
    }
    close(outPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    t.result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    struct termios after {};
    t.echoRestored = tcgetattr(master, &after) == 0 && (after.c_lflag & ECHO) != 0;
    close(master);
    return t;
}

}  // namespace

TEST(CliTerminal, KeyIsReadFromTheTerminalWithoutEchoAndTheMessageFromStandardInput) {
    const std::string typed = "terminal key \xC3\xA9";  // é, typed as UTF-8
    const TerminalResult sealed = RunOnTerminal({"encrypt", "-c", "Twofish"}, "message on the pipe", typed);
    ASSERT_EQ(sealed.result.code, 0) << sealed.screen;
    EXPECT_EQ(sealed.screen.rfind("Key: ", 0), 0u) << sealed.screen;
    EXPECT_EQ(sealed.screen.find("terminal key"), std::string::npos) << "echoed: " << sealed.screen;
    EXPECT_TRUE(sealed.echoRestored);

    // The envelope holds the pipe's message under the typed key.
    const Result opened = RunCli({"decrypt", "-c", "Twofish", "--key-env", "K"}, sealed.result.out, {"K=" + typed});
    EXPECT_EQ(opened.code, 0) << opened.err;
    EXPECT_EQ(opened.out, "message on the pipe");

    // And back on the terminal: the envelope on the pipe, the key typed.
    const TerminalResult back = RunOnTerminal({"decrypt", "-c", "Twofish"}, sealed.result.out, typed);
    EXPECT_EQ(back.result.code, 0) << back.screen;
    EXPECT_EQ(back.result.out, "message on the pipe");
    EXPECT_EQ(back.screen.find("terminal key"), std::string::npos) << "echoed: " << back.screen;
    const TerminalResult wrong = RunOnTerminal({"decrypt", "-c", "Twofish"}, sealed.result.out, "other key");
    EXPECT_EQ(wrong.result.code, 3) << wrong.screen;
    EXPECT_EQ(wrong.screen.find("other key"), std::string::npos);
    EXPECT_NE(wrong.screen.find("wrong key, cipher or passes"), std::string::npos);

    // Encryption asks twice, and a mismatch writes nothing.
    EXPECT_NE(sealed.screen.find("Key again: "), std::string::npos);
    EXPECT_EQ(back.screen.find("Key again: "), std::string::npos);
    TempDir dir;
    WriteFile(dir / "plain", "p");
    for (const auto& args : {std::vector<std::string>{"encrypt", "-o", In(dir, "out")},
                             std::vector<std::string>{"encrypt-file", In(dir, "plain"), In(dir, "out")}}) {
        const TerminalResult typo = RunOnTerminal(args, "m", "the key", "the kye");
        EXPECT_EQ(typo.result.code, 1) << typo.screen;
        EXPECT_NE(typo.screen.find("tavorin-cli: the keys typed differ"), std::string::npos) << typo.screen;
        EXPECT_EQ(dir.Names(), std::set<std::string>{"plain"});
    }
    const TerminalResult ended = RunOnTerminal({"decrypt"}, sealed.result.out, "\x04");  // Ctrl-D
    EXPECT_EQ(ended.result.code, 1);
    EXPECT_NE(ended.screen.find("no key was typed"), std::string::npos) << ended.screen;
}

// A pipe is read to its end before the work: the terminal counts what was read, wipes that
// count, then shows the bar; none of it reaches the file, both ways.
TEST(CliTerminal, FilesFromAPipeCountWhatWasReadThenTheWork) {
    TempDir dir;
    WriteFile(dir / "k", "correct horse battery staple\n");
    const ByteArray bytes = test::TestBytes(9u << 20, 7);
    std::string input(bytes.begin(), bytes.end());
    for (const std::string command : {"encrypt", "decrypt"}) {
        const std::string file = In(dir, command == "encrypt" ? "piped.tav" : "back");
        const TerminalResult t = RunOnTerminal({command + "-file", "--key-file", In(dir, "k"), "-", file}, input, {});
        ASSERT_EQ(t.result.code, 0) << t.screen;
        const std::size_t read = t.screen.find("\rreading: 8 MiB");
        EXPECT_NE(read, std::string::npos) << t.screen;
        EXPECT_LT(t.screen.find("\r" + std::string(24, ' ') + "\r", read),
                  t.screen.find("\r" + command + "ing [", read))
            << t.screen;
        EXPECT_NE(t.screen.find("100%", read), std::string::npos) << t.screen;
        input = ReadFileText(dir / "piped.tav");
    }
    EXPECT_EQ(test::ReadFile(dir / "back"), bytes);
}

#endif  // _WIN32

// --- Files that carry their digest --------------------------------------------------------------

// Every single-byte change of a small file is caught: past the frame's first two blocks (its
// stored length) as damage, exit 2, within them as a wrong key or damage; a missing or an extra
// block is damage; a wrong key is 3; a bare frame still opens, and says so.
TEST(CliCommands, DamagedFilesAreToldFromWrongKeys) {
    TempDir dir;
    cli::System system = cli::System::Process();
    std::string key = "file key";
    system.getEnv = [&](const std::string&) -> std::optional<std::string> { return key; };
    const auto run = [&](const std::vector<std::string>& args) {
        cli::TextReader in("");
        cli::TextWriter out, err;
        const int code = cli::Run(With(args, {"--key-env", "K"}), in, out, err, system);
        return std::pair(code, err.Text());
    };
    const std::string plain = In(dir, "plain"), sealed = In(dir, "sealed"), opened = In(dir, "opened");
    const ByteArray large = test::TestBytes((5u << 20) + 3, 9);  // deciphered a chunk on each core
    for (const auto& name : CipherNames()) {
        SCOPED_TRACE(name);
        WriteFile(dir / "plain", "twenty bytes of text");
        ASSERT_EQ(run({"encrypt-file", "-fc", name, plain, sealed}).first, 0);
        const ByteArray file = test::ReadFile(sealed);
        const CSHA256::DigestBytes digest = CSHA256::Digest(file.data() + 32, file.size() - 32);
        EXPECT_TRUE(std::equal(digest.begin(), digest.end(), file.begin()));
        const std::size_t B = CreateEngine(FromUtf8(name))->BlockSize();
        const auto decrypt = [&](const ByteArray& bytes, std::vector<std::string> extra = {}) {
            test::WriteFile(sealed, bytes);
            return run(With({"decrypt-file", "-f", sealed, opened}, extra));
        };
        for (std::size_t i = 0; i < file.size(); ++i) {
            ByteArray damaged = file;
            damaged[i] ^= 0x10;
            const int code = decrypt(damaged).first;
            EXPECT_TRUE(code == 2 || (code == 3 && i >= 32 && i < 32 + 2 * B)) << i << ": " << code;
        }
        EXPECT_EQ(decrypt(ByteArray(file.begin(), file.end() - B)).second,
                  "tavorin-cli: " + sealed +
                      " is damaged: it was cut (1 block is missing)\nhint: copy the whole file again\n");
        ByteArray longer = file;
        longer.insert(longer.end(), file.end() - B, file.end());
        EXPECT_EQ(decrypt(longer).first, 2);
        EXPECT_EQ(decrypt(file, {"--bare"}).first, 3);
        key = "wrong key";
        EXPECT_EQ(decrypt(file).second, "tavorin-cli: wrong key, or the file is damaged or cut\n");
        key = "file key";
        EXPECT_EQ(decrypt(file).first, 0);
        EXPECT_EQ(ReadFileText(dir / "opened"), "twenty bytes of text");
        // Made bare, as every file before the digest: it opens, and -v says what it lacks.
        ASSERT_EQ(run({"encrypt-file", "--bare", "-fc", name, plain, sealed}).first, 0);
        const auto bare = run({"decrypt-file", "-fv", sealed, opened});
        EXPECT_EQ(bare.first, 0);
        EXPECT_NE(bare.second.find("carries no digest"), std::string::npos) << bare.second;
        EXPECT_EQ(test::ReadFile(sealed).size(), file.size() - 32);
    }
    // A large file, checked while its chunks are deciphered on every core.
    test::WriteFile(dir / "plain", large);
    ASSERT_EQ(run({"encrypt-file", "-fc", "Twofish", plain, sealed}).first, 0);
    ByteArray file = test::ReadFile(sealed);
    file[3u << 20] ^= 1;
    test::WriteFile(sealed, file);
    EXPECT_EQ(run({"decrypt-file", "-f", sealed, opened}).first, 2);
    EXPECT_EQ(ReadFileText(dir / "opened"), "twenty bytes of text");  // nothing was named
    // To standard output the digest is checked first: nothing unchecked goes out.
    const Result piped = RunCli({"decrypt-file", "--key-env", "K", sealed, "-"}, {}, {"K=file key"});
    EXPECT_EQ(piped.code, 2);
    EXPECT_EQ(piped.out, "");
    file[3u << 20] ^= 1;
    test::WriteFile(sealed, file);
    EXPECT_EQ(run({"decrypt-file", "-f", sealed, opened}).first, 0);
    EXPECT_EQ(test::ReadFile(opened), large);
    // encrypt-file to standard output: the digest first, then the frame.
    const Result spooled = RunCli({"encrypt-file", "--key-env", "K", plain, "-"}, {}, {"K=file key"});
    ASSERT_EQ(spooled.code, 0);
    WriteFile(dir / "sealed", spooled.out);
    EXPECT_EQ(run({"decrypt-file", "-f", sealed, opened}).first, 0);
    EXPECT_EQ(test::ReadFile(opened), large);
}

// --- In-process: the terminal side ------------------------------------------------------------

// Kinds that share a number (9, the object error) are told apart: an empty key is no damage.
TEST(CliCommands, FailuresAreReportedByKindNeverByNumber) {
    const auto report = [](FailureKind kind) {
        cli::TextWriter err;
        const int code = cli::ReportFailure(err, Failure(kind));
        EXPECT_EQ(err.Text().find(Failure(kind).Description()), std::string::npos) << err.Text();
        EXPECT_EQ(err.Text().find("error "), std::string::npos) << err.Text();
        return std::pair(code, err.Text());
    };
    for (const auto& entry : Failure::Kinds)
        report(entry.kind);
    for (FailureKind kind : {FailureKind::EmptyKey, FailureKind::EmptySkipjackKey, FailureKind::EmptyGostKey})
        EXPECT_EQ(report(kind),
                  std::pair(1, std::string("tavorin-cli: the key is empty\nhint: You must enter a key\n")));
    EXPECT_EQ(report(FailureKind::BadHexDigit).first, 1);
    EXPECT_EQ(report(FailureKind::PartialBlock).first, 2);
    EXPECT_EQ(report(FailureKind::SourceMissing).first, 4);
}

TEST(CliCommands, KeyIsAskedOnTheTerminalNeverOnStandardInput) {
    cli::System system = cli::System::Process();
    int asked = 0;
    system.askKey = [&](const std::string& prompt) -> std::optional<std::string> {
        EXPECT_EQ(prompt, ++asked == 2 ? "Key again: " : "Key: ");
        return std::string("typed key");
    };
    cli::TextReader in("message on stdin");
    cli::TextWriter out, err;
    ASSERT_EQ(cli::Run({"encrypt"}, in, out, err, system), 0) << err.Text();
    EXPECT_EQ(asked, 2);

    cli::TextReader envIn(out.Text());
    cli::TextWriter msg, err2;
    ASSERT_EQ(cli::Run({"decrypt"}, envIn, msg, err2, system), 0) << err2.Text();
    EXPECT_EQ(msg.Text(), "message on stdin");

    system.askKey = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
    cli::TextReader in3("x");
    cli::TextWriter out3, err3;
    EXPECT_EQ(cli::Run({"encrypt"}, in3, out3, err3, system), 1);
    EXPECT_NE(err3.Text().find("no terminal"), std::string::npos);

    // A message typed on the terminal is told once how to end.
    system.askKey = [](const std::string&) -> std::optional<std::string> { return std::string("k"); };
    system.inIsTerminal = true;
    cli::TextReader in4("typed");
    cli::TextWriter out4, err4;
    EXPECT_EQ(cli::Run({"encrypt"}, in4, out4, err4, system), 0);
    EXPECT_NE(err4.Text().find("tavorin-cli: type the message, then press Enter and "), std::string::npos);
}

TEST(CliCommands, ProgressBarOnlyOnATerminalAndForLargeWork) {
    cli::System system = cli::System::Process();
    system.getEnv = [](const std::string&) -> std::optional<std::string> {
        return std::string("a long key, no warning");
    };
    const std::string big(2u << 20, 'a');
    for (const bool terminal : {false, true}) {
        system.errIsTerminal = terminal;
        cli::TextReader in(big);
        cli::TextWriter out, err;
        ASSERT_EQ(cli::Run({"encrypt", "--key-env", "K"}, in, out, err, system), 0);
        EXPECT_EQ(err.Text().find("100%") != std::string::npos, terminal) << err.Text().substr(0, 200);
        cli::TextReader small("small");
        cli::TextWriter out2, err2;
        ASSERT_EQ(cli::Run({"encrypt", "--key-env", "K"}, small, out2, err2, system), 0);
        EXPECT_EQ(err2.Text(), "");
        // Many passes over a small message are long work too.
        cli::TextReader many("small");
        cli::TextWriter out3, err3;
        ASSERT_EQ(cli::Run({"encrypt", "--key-env", "K", "-p", "400"}, many, out3, err3, system), 0);
        EXPECT_EQ(err3.Text().find("pass 400/400") != std::string::npos, terminal) << err3.Text().substr(0, 200);
    }
}

namespace {

// Standard input as a pipe gives it: small reads and no way to learn the size.
class PipeReader : public cli::Reader {
public:
    explicit PipeReader(std::string data) : text_(std::move(data)) {}
    std::size_t Read(std::uint8_t* into, std::size_t size) override {
        return text_.Read(into, std::min<std::size_t>(size, 4093));
    }

private:
    cli::TextReader text_;
};

}  // namespace

// Large messages mixing ASCII runs longer than the output slices with Windows-1252 letters,
// read from a seekable stream and from a pipe, written back as UTF-8.
TEST(CliCommands, LargeInputFromStreamsAndPipesRoundTrips) {
    cli::System system = cli::System::Process();
    system.getEnv = [](const std::string&) -> std::optional<std::string> { return std::string("k"); };
    std::string message;
    for (int i = 0; message.size() < (3u << 20); ++i) {
        message.append(static_cast<std::size_t>(i * 7919 % 150000), 'a' + i % 26);
        message += "\xE2\x82\xAC\xC3\xA9\r\n";  // € é
    }
    const auto run = [&](const std::vector<std::string>& args, cli::Reader& in) {
        cli::TextWriter out, err;
        EXPECT_EQ(cli::Run(args, in, out, err, system), 0) << err.Text();
        return out.Text();
    };
    for (const bool piped : {false, true}) {
        PipeReader pipeIn(message);
        cli::TextReader streamIn(message);
        const std::string envelope =
            run({"encrypt", "--key-env", "K"}, piped ? static_cast<cli::Reader&>(pipeIn) : streamIn);
        ASSERT_EQ(envelope.size() % 3, 0u);  // pairs, spaces, one line ending

        PipeReader backIn(envelope);
        cli::TextReader backStream(envelope);
        EXPECT_TRUE(run({"decrypt", "--key-env", "K"}, piped ? static_cast<cli::Reader&>(backIn) : backStream) ==
                    message);
    }
    cli::TextReader empty("");
    const std::string sealedEmpty = run({"encrypt", "--key-env", "K"}, empty);
    cli::TextReader emptyBack(sealedEmpty);
    EXPECT_EQ(run({"decrypt", "--key-env", "K"}, emptyBack), "");
}

// Standard output that is a regular file takes the envelope piece by piece, at its place after
// whatever the file already holds; a file opened for appending gets it in order.
TEST(CliCommands, EnvelopeIntoARegularFileBehindStandardOutput) {
    TempDir dir;
    cli::System system = cli::System::Process();
    system.getEnv = [](const std::string&) -> std::optional<std::string> { return std::string("k"); };
    const std::string message(300000, 'm');
    for (const bool append : {false, true}) {
        const fs::path path = dir / (append ? "appended" : "placed");
        WriteFile(path, "before\n");
        const int fd = test::OpenForWriting(path, append);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(SetPosition(fd, 7));
        system.outFd = fd;
        cli::TextReader in(message);
        cli::TextWriter streamed, err;
        ASSERT_EQ(cli::Run({"encrypt", "--key-env", "K"}, in, streamed, err, system), 0) << err.Text();
        // Appending, the stream gets the envelope in order; write it on as a caller would.
        const std::string text = streamed.Text();
        if (!text.empty()) {
            ASSERT_EQ(WriteSome(fd, text.data(), text.size()), static_cast<std::ptrdiff_t>(text.size()));
        }
        EXPECT_EQ(text.empty(), !append);
        ASSERT_EQ(WriteSome(fd, "after\n", 6), 6);
        CloseDescriptor(fd);
        const std::string all = ReadFileText(path);
        ASSERT_EQ(all.substr(0, 7), "before\n");
        ASSERT_EQ(all.substr(all.size() - 6), "after\n");
        const std::string envelope = all.substr(7, all.size() - 13);
        cli::TextReader back(envelope);
        cli::TextWriter opened, err2;
        system.outFd = -1;
        ASSERT_EQ(cli::Run({"decrypt", "--key-env", "K"}, back, opened, err2, system), 0) << err2.Text();
        EXPECT_TRUE(opened.Text() == message);
    }
}

TEST(CliCommands, StandardInputPastTheLimitEndsWithOverflow) {
    const auto errorOf = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const Failure& failure) {
            return failure.Number();
        }
        return 0;
    };
    constexpr std::size_t kLimit = std::size_t{1} << 20;
    // A source that never ends (yes, /dev/zero) stops once it is past the limit.
    class Endless : public cli::Reader {
        std::size_t Read(std::uint8_t* into, std::size_t size) override {
            std::fill_n(into, size, 'A');
            return size;
        }
    } never;
    EXPECT_EQ(errorOf([&] { cli::ReadAll(never, kLimit); }), Failure::Overflow);
    // So does one read into a file of no name (encrypt-file -), and nothing past the limit is kept.
    ScratchFile scratch;
    EXPECT_EQ(errorOf([&] { cli::SpoolInput(never, scratch, kLimit); }), Failure::Overflow);
    EXPECT_LE(Describe(scratch.Descriptor()).size, kLimit);

    // A size known in advance is judged before anything is read.
    cli::TextReader sized(std::string(kLimit + 1, 'A'));
    EXPECT_EQ(errorOf([&] { cli::ReadAll(sized, kLimit); }), Failure::Overflow);
    EXPECT_EQ(sized.Remaining().value_or(0), kLimit + 1);
    // Up to the limit is taken, from a pipe too.
    cli::TextReader exact(std::string(kLimit, 'A'));
    EXPECT_EQ(cli::ReadAll(exact, kLimit).size(), kLimit);
    // From a pipe in growing pieces: every byte in its place.
    std::string pattern(kLimit, 'A');
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>('A' + i % 23);
    PipeReader piped(pattern);
    const ByteArray read = cli::ReadAll(piped, kLimit);
    EXPECT_TRUE(std::equal(read.begin(), read.end(), pattern.begin(), pattern.end()));
    // A file is judged by its size alike.
    TempDir dir;
    WriteFile(dir / "three", "abc");
    EXPECT_EQ(cli::ReadFile(dir / "three", 3).size(), 3u);
    EXPECT_EQ(errorOf([&] { cli::ReadFile(dir / "three", 2); }), Failure::Overflow);
}

// A regular file is encrypted while it is read: from standard input at an offset and from -i
// into -o, ASCII throughout, or with a letter near the end that sends it back to be converted
// after the chain has begun (whatever was already placed in the output is written over).
TEST(CliCommands, MessagesReadWhileEncryptedOpenAsTheyWere) {
    TempDir dir;
    cli::System system = cli::System::Process();
    system.getEnv = [](const std::string&) -> std::optional<std::string> { return std::string("k"); };
    std::string message(cli::StreamedFrom * 2 + 12345, ' ');
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<char>(i % 61 == 60 ? '\n' : 'A' + i % 53);
    for (const bool letter : {false, true}) {
        if (letter)
            message.replace(message.size() - 100, 2, "\xC3\xA9");  // é
        WriteFile(dir / "in", "skip\n" + message);
        const int fd = OpenForReading(dir / "in");
        ASSERT_TRUE(SetPosition(fd, 5));
        cli::FdReader in(fd, "standard input");
        system.inFd = fd;
        cli::TextWriter sealed, err;
        ASSERT_EQ(cli::Run({"encrypt", "--key-env", "K"}, in, sealed, err, system), 0) << err.Text();
        // With the letter, read again from where the message starts (a Windows handle's reads
        // at offsets move its position), and left where it ends as before.
        EXPECT_EQ(Position(fd), message.size() + 5);
        CloseDescriptor(fd);
        system.inFd = -1;
        cli::TextReader none;
        ASSERT_EQ(cli::Run({"encrypt", "--key-env", "K", "-p", "2", "-i", In(dir, "in"), "-o", In(dir, "env")}, none,
                           sealed, err, system),
                  0)
            << err.Text();
        for (const auto& [envelope, passes] : {std::pair{sealed.Text(), "1"}, {ReadFileText(dir / "env"), "2"}}) {
            cli::TextReader back(envelope);
            cli::TextWriter opened;
            ASSERT_EQ(cli::Run({"decrypt", "--key-env", "K", "-p", passes}, back, opened, err, system), 0)
                << err.Text();
            EXPECT_TRUE(opened.Text() == (passes == std::string("1") ? message : "skip\n" + message));
        }
        fs::remove(dir / "env");
    }
}

// Every form an option takes, and every way of giving one wrongly: a usage error with the
// command's hint, never a value taken for something else; the help fits 100 columns.
TEST(CliCommands, OptionFormsMistakesAndHelp) {
    cli::System system = cli::System::Process();
    system.getEnv = [](const std::string& name) -> std::optional<std::string> {
        return name == "K" ? std::optional<std::string>("k") : std::nullopt;
    };
    const auto run = [&](const std::vector<std::string>& args, const std::string& input = "m") {
        cli::TextReader in(input);
        cli::TextWriter out, err;
        const int code = cli::Run(args, in, out, err, system);
        return std::tuple{code, out.Text(), err.Text()};
    };
    const std::string envelope = std::get<1>(run({"encrypt", "--key-env=K", "-fcTwofish", "--passes=2"}));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"decrypt", "--key-env", "K", "-p2"},
                                                 {"decrypt", "-vc", "TWOFISH", "--key-env=K", "--encoding=UTF-8"}})
        EXPECT_EQ(std::get<1>(run(args, envelope)), "m");
    for (const char* wrong : {"--force=yes", "--key-env", "--wrap --force", "stray", "-x", "--wrap 5x", "--wrap=1",
                              "--encoding=", "-p autox", "--encoding utf", "-c DES -fc DES"}) {
        std::vector<std::string> args = {"encrypt", "--key-env", "K"};
        std::istringstream words(wrong);
        args.insert(args.end(), std::istream_iterator<std::string>(words), {});
        const auto [code, out, err] = run(args);
        EXPECT_EQ(code, 1) << err;
        EXPECT_EQ(out, "");
        EXPECT_NE(err.find("\nhint: 'tavorin-cli encrypt --help' shows the options\n"), std::string::npos) << err;
    }
    // After -- an argument that looks like an option is a file name.
    EXPECT_EQ(std::get<2>(run({"encrypt-file", "--key-env", "K", "--", "-nofile", "x"})),
              "tavorin-cli: -nofile: no such file\n");
    for (const char* command : {"ciphers", "encrypt", "decrypt", "encrypt-file", "decrypt-file"}) {
        const auto [code, help, err] = run({command, "--cipher", "x", "-h"});
        EXPECT_EQ(code, 0);
        ASSERT_EQ(help.back(), '\n');
        std::istringstream lines(help);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 100u) << line;
    }
    EXPECT_NE(std::get<1>(run({"encrypt", "--help"})).find("default: Blowfish"), std::string::npos);

    // A write that fails is a file error, not a success.
#ifdef _WIN32
    TempDir dir;  // Windows has no full device: a file open only for reading refuses writes alike
    WriteFile(dir / "read-only", "");
    const int full = OpenForReading(dir / "read-only");
#else
    const int full = ::open("/dev/full", O_WRONLY);
#endif
    cli::FdWriter out(full);
    cli::TextReader in("m");
    cli::TextWriter err;
    EXPECT_EQ(cli::Run({"encrypt", "--key-env", "K"}, in, out, err, system), 4) << err.Text();
    cli::FdWriter list(full);
    EXPECT_EQ(cli::Run({"ciphers"}, in, list, err, system), 4) << err.Text();
    CloseDescriptor(full);
}

// tavorin-cli's argument handling, run in-process with fuzzed arguments and standard input.
// The input is split at NUL bytes: the arguments, then the text on standard input.
//
// It runs in a scratch folder with no controlling terminal (so a key prompt fails at once
// instead of waiting), and arguments naming anything outside that folder are skipped, so
// that no fuzzed path can touch the machine.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Cli.h"
#include "fuzz/FuzzSupport.h"

namespace fs = std::filesystem;

namespace {

fs::path g_scratch;

void WriteFile(const fs::path& path, std::string_view content) {
    std::ofstream(path, std::ios::binary) << content;
}

// Files that the seeds name: a key file, a message, an envelope-shaped text.
void Furnish() {
    WriteFile(g_scratch / "key", "correct horse\n");
    WriteFile(g_scratch / "msg", "Meet me at noon.");
    WriteFile(g_scratch / "empty", "");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0) {
        ::close(tty);
        if (::setsid() < 0) {
            std::fprintf(stderr, "fuzz_cli: run without a controlling terminal (scripts/fuzz uses setsid)\n");
            std::abort();
        }
    }
    std::string pattern = (fs::temp_directory_path() / "tavorin-fuzz-cli-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    g_scratch = pattern;
    fs::current_path(g_scratch);
    ::setenv("TAVORIN_FUZZ_KEY", "correct horse", 1);
    Furnish();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> parts;
    parts.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.emplace_back();
        } else {
            parts.back().push_back(static_cast<char>(data[i]));
        }
    }
    std::string stdinText = parts.size() > 1 ? parts.back() : std::string();
    if (parts.size() > 1) parts.pop_back();
    if (parts.size() > 16) return -1;
    for (const std::string& arg : parts) {
        if (arg.find('/') != std::string::npos || arg.find("..") != std::string::npos) return -1;
    }

    std::istringstream in(stdinText);
    std::ostringstream out, err;
    const int code = tavorin::cli::Run(parts, in, out, err);
    FUZZ_CHECK(code >= 0 && code <= 4);
    FUZZ_CHECK(code == 0 || !err.str().empty());  // a failure always says why

    // Leave the folder as the next input expects it.
    for (const auto& entry : fs::directory_iterator(g_scratch)) fs::remove_all(entry.path());
    Furnish();
    return 0;
}

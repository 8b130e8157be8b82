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

#include "base/Failure.h"
#include "cli/Cli.h"
#include "cli/System.h"
#include "engines/Registry.h"
#include "fuzz/FuzzSupport.h"

namespace fs = std::filesystem;

namespace {

fs::path g_scratch;

// An engine that refuses work past a budget. Every pass goes over the whole grown frame, so
// a tiny message under thousands of passes is minutes of honest work: a slow input, not a
// fault, that would hide the rest of the search. Past the budget it fails as an overflow.
class Budgeted final : public tavorin::Engine {
public:
    explicit Budgeted(std::unique_ptr<tavorin::Engine> inner) : inner_(std::move(inner)) {}

    std::u16string_view Name() const noexcept override { return inner_->Name(); }
    std::size_t BlockSize() const noexcept override { return inner_->BlockSize(); }
    void Key(std::u16string_view k) override { inner_->Key(k); }
    void EncryptByte(tavorin::ByteArray& b, std::u16string_view k) override {
        Spend(b.size());
        inner_->EncryptByte(b, k);
    }
    bool DecryptByte(tavorin::ByteArray& b, std::u16string_view k) override {
        Spend(b.size());
        return inner_->DecryptByte(b, k);
    }
    void EncryptFile(const fs::path& s, const fs::path& d, std::u16string_view k) override {
        Spend(0);
        inner_->EncryptFile(s, d, k);
    }
    bool DecryptFile(const fs::path& s, const fs::path& d, std::u16string_view k) override {
        Spend(0);
        return inner_->DecryptFile(s, d, k);
    }
    std::int32_t PeekLength(const std::uint8_t* f, std::u16string_view k) override { return inner_->PeekLength(f, k); }
    void RawEncryptBlock(std::uint8_t* b) override { inner_->RawEncryptBlock(b); }
    void RawDecryptBlock(std::uint8_t* b) override { inner_->RawDecryptBlock(b); }

private:
    static constexpr std::size_t kBudget = std::size_t{4} << 20;
    std::unique_ptr<tavorin::Engine> inner_;
    std::size_t spent_ = 0;

    // Counts the bytes and hands the events on (the caller sets them on this object).
    void Spend(std::size_t n) {
        spent_ += n;
        if (spent_ > kBudget)
            throw tavorin::Failure(tavorin::FailureKind::TooLarge);
        inner_->Progress = Progress;
        inner_->WrongKey = WrongKey;
        inner_->Sealed = Sealed;
        inner_->Needed = Needed;
    }
};

void WriteFile(const fs::path& path, std::string_view content) { std::ofstream(path, std::ios::binary) << content; }

// Files that the seeds name: a key file, a message, an envelope-shaped text.
void Furnish() {
    WriteFile(g_scratch / "key", "correct horse\n");
    WriteFile(g_scratch / "msg", "Meet me at noon.");
    WriteFile(g_scratch / "empty", "");
}

}  // namespace

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
    if (::mkdtemp(pattern.data()) == nullptr)
        std::abort();
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
    if (parts.size() > 1)
        parts.pop_back();
    if (parts.size() > 16)
        return -1;
    for (const std::string& arg : parts) {
        if (arg.find('/') != std::string::npos || arg.find("..") != std::string::npos)
            return -1;
    }

    tavorin::cli::TextReader in(stdinText);
    tavorin::cli::TextWriter out, err;
    tavorin::cli::System system = tavorin::cli::System::Process();
    system.createEngine = [](std::u16string_view name) -> std::unique_ptr<tavorin::Engine> {
        auto engine = tavorin::CreateEngine(name);
        if (!engine)
            return nullptr;
        return std::make_unique<Budgeted>(std::move(engine));
    };
    const int code = tavorin::cli::Run(parts, in, out, err, system);
    FUZZ_CHECK(code >= tavorin::cli::ExitOk && code <= tavorin::cli::ExitTooLarge);
    FUZZ_CHECK(code == 0 || !err.Text().empty());  // a failure always says why

    // Leave the folder as the next input expects it.
    for (const auto& entry : fs::directory_iterator(g_scratch))
        fs::remove_all(entry.path());
    Furnish();
    return 0;
}

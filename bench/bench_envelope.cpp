// The whole envelope pipeline of a 16 MiB message through tavorin-cli (encrypt: frame,
// Blowfish, digest, hex; decrypt: the way back), beside the tools a user would otherwise
// reach for: openssl enc -bf-cbc -a (raw key, no key derivation) and gpg --symmetric --armor
// with Blowfish. Each run is a child process reading standard input from a file and writing
// standard output to a file; wall time per run, and the child's peak resident memory.
//
// Prints ours/peer wall-time ratios (target below 1.0, both directions) and our peak memory
// as a multiple of the message (target below 6).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "BenchRatio.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMessage = std::size_t{16} << 20;
constexpr const char* kKeyHex = "00112233445566778899aabbccddeeff";
constexpr const char* kIvHex = "0011223344556677";

struct Child {
    double seconds = 0;
    long maxRssKiB = 0;
    int status = -1;
};

// Runs argv with standard input from `in` and standard output to `out`; standard error is
// dropped. Waits with wait4 for the child's own peak memory.
Child RunChild(const std::vector<std::string>& args, const fs::path& in, const fs::path& out,
               const std::vector<std::string>& env = {}) {
    std::vector<char*> argv;
    std::vector<std::string> store = args;
    for (auto& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int i = open(in.c_str(), O_RDONLY);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int n = open("/dev/null", O_WRONLY);
        if (i < 0 || o < 0 || n < 0) _exit(126);
        dup2(i, 0), dup2(o, 1), dup2(n, 2);
        for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
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

struct Setup {
    fs::path dir;
    fs::path message, passphrase, gnupg;
    std::vector<std::string> keyEnv = {"TAVORIN_BENCH_KEY=correct horse battery staple"};

    Setup() {
        std::string pattern = (fs::temp_directory_path() / "tavorin-bench-XXXXXX").string();
        dir = mkdtemp(pattern.data());
        message = dir / "message.txt";
        passphrase = dir / "passphrase";
        gnupg = dir / "gnupg";
        fs::create_directory(gnupg);
        fs::permissions(gnupg, fs::perms::owner_all);
        std::ofstream(passphrase) << "correct horse battery staple\n";

        // Text, as messages are: printable ASCII in lines.
        std::mt19937 rng(42);
        std::string text(kMessage, ' ');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = (i % 72 == 71) ? '\n' : static_cast<char>(' ' + rng() % 95);
        }
        std::ofstream(message, std::ios::binary) << text;
    }
    ~Setup() {
        RunChild({"gpgconf", "--homedir", gnupg.string(), "--kill", "gpg-agent"}, "/dev/null", dir / "kill.out");
        fs::remove_all(dir);
    }

    std::vector<std::string> Tavorin(const char* command) const {
        return {TAVORIN_CLI_PATH, command, "-c", "Blowfish", "--key-env", "TAVORIN_BENCH_KEY"};
    }
    static std::vector<std::string> OpenSsl(bool decrypt) {
        std::vector<std::string> a = {"openssl", "enc", "-bf-cbc", "-a", "-K", kKeyHex, "-iv", kIvHex,
                                      "-provider", "legacy", "-provider", "default"};
        if (decrypt) a.push_back("-d");
        return a;
    }
    std::vector<std::string> Gpg(bool decrypt) const {
        std::vector<std::string> a = {"gpg", "--batch", "--yes", "--quiet", "--homedir", gnupg.string(),
                                      "--pinentry-mode", "loopback", "--passphrase-file", passphrase.string(),
                                      "--no-symkey-cache"};
        if (decrypt) {
            a.push_back("--decrypt");
        } else {
            for (const char* x : {"--symmetric", "--armor", "-z", "0", "--cipher-algo", "BLOWFISH"}) a.push_back(x);
        }
        return a;
    }
};

Setup& TheSetup() {
    static Setup setup;
    return setup;
}

std::map<std::string, long> g_peakKiB;

// Encrypts once to make the input of the decrypt runs, then times `runs` of the direction.
void Pipeline(benchmark::State& state, const std::string& name, const std::string& tool, bool decrypt) {
    Setup& s = TheSetup();
    const auto args = [&](bool d) {
        return tool == "Tavorin" ? s.Tavorin(d ? "decrypt" : "encrypt") : tool == "OpenSSL" ? Setup::OpenSsl(d) : s.Gpg(d);
    };
    const std::vector<std::string> env = tool == "Tavorin" ? s.keyEnv : std::vector<std::string>{};
    const fs::path sealed = s.dir / (tool + ".sealed");
    const fs::path opened = s.dir / (tool + ".opened");
    if (decrypt) {
        const Child prep = RunChild(args(false), s.message, sealed, env);
        if (prep.status != 0) {
            state.SkipWithError("could not prepare the encrypted input");
            return;
        }
    }
    long peak = 0;
    for (auto _ : state) {
        const Child c = decrypt ? RunChild(args(true), sealed, opened, env) : RunChild(args(false), s.message, sealed, env);
        if (c.status != 0) {
            state.SkipWithError((tool + " failed; is it installed?").c_str());
            return;
        }
        state.SetIterationTime(c.seconds);
        peak = std::max(peak, c.maxRssKiB);
    }
    if (decrypt && fs::file_size(opened) != kMessage) {
        state.SkipWithError("the decrypted message differs in length");
        return;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessage));
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
    g_peakKiB[name] = peak;
}

void RegisterAll() {
    for (const char* direction : {"Encrypt", "Decrypt"}) {
        for (const char* tool : {"Tavorin", "OpenSSL", "Gpg"}) {
            const std::string name = std::string("Envelope16MiB_") + direction + "_" + tool;
            const bool decrypt = std::string(direction) == "Decrypt";
            benchmark::RegisterBenchmark(name.c_str(), [name, tool = std::string(tool), decrypt](benchmark::State& st) {
                Pipeline(st, name, tool, decrypt);
            })
                ->UseManualTime()
                ->Iterations(5)
                ->Unit(benchmark::kMillisecond);
        }
    }
}

void PrintWallRatios(const tavorin::bench::Throughputs& rates, const char* direction) {
    const std::string base = std::string("Envelope16MiB_") + direction + "_";
    const auto ours = rates.find(base + "Tavorin");
    if (ours == rates.end()) return;
    for (const char* peer : {"OpenSSL", "Gpg"}) {
        const auto it = rates.find(base + peer);
        if (it == rates.end()) continue;
        // Equal bytes per run, so the wall-time ratio is the inverse ratio of the rates.
        const double ratio = it->second / ours->second;
        std::printf("%s 16 MiB message: Tavorin/%s wall time = %.2f (target < 1.00, %s)\n", direction, peer, ratio,
                    ratio < 1.0 ? "met" : "NOT met");
    }
    const auto peak = g_peakKiB.find(base + "Tavorin");
    if (peak != g_peakKiB.end()) {
        const double times = static_cast<double>(peak->second) * 1024.0 / static_cast<double>(kMessage);
        std::printf("%s 16 MiB message: Tavorin peak memory = %.2f x the message (target < 6, %s)\n", direction,
                    times, times < 6.0 ? "met" : "NOT met");
    }
}

} // namespace

int main(int argc, char** argv) {
    RegisterAll();
    const auto rates = tavorin::bench::RunAndCollect(argc, argv);
    PrintWallRatios(rates, "Encrypt");
    PrintWallRatios(rates, "Decrypt");
    return 0;
}

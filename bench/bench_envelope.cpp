// The whole envelope pipeline of a 16 MiB message through tavorin-cli (encrypt: frame,
// Blowfish, digest, hex; decrypt: the way back), beside the tools a user would otherwise
// reach for: openssl enc -bf-cbc -a (raw key, no key derivation) and gpg --symmetric --armor
// with Blowfish. Each run is a child process reading standard input from a file and writing
// standard output to a file; wall time per run, and the child's peak resident memory.
//
// Prints ours/peer ratios of the fastest wall time of each (target below 1.0, both directions)
// and our peak memory as a multiple of the message (target below 6).
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

#include "BenchChild.h"
#include "BenchRatio.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMessage = std::size_t{16} << 20;
constexpr const char* kKeyHex = "00112233445566778899aabbccddeeff";
constexpr const char* kIvHex = "0011223344556677";

using tavorin::bench::Child;
using tavorin::bench::RunChild;

struct Setup {
    fs::path dir;
    fs::path message, passphrase, gnupg;
    std::vector<std::string> keyEnv = {"TAVORIN_BENCH_KEY=correct horse battery staple"};

    Setup() {
        dir = tavorin::bench::MakeTempDir("tavorin-bench");
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
        std::vector<std::string> a = {"openssl", "enc",  "-bf-cbc",   "-a",     "-K",        kKeyHex,
                                      "-iv",     kIvHex, "-provider", "legacy", "-provider", "default"};
        if (decrypt)
            a.push_back("-d");
        return a;
    }
    std::vector<std::string> Gpg(bool decrypt) const {
        std::vector<std::string> a = {"gpg",
                                      "--batch",
                                      "--yes",
                                      "--quiet",
                                      "--homedir",
                                      gnupg.string(),
                                      "--pinentry-mode",
                                      "loopback",
                                      "--passphrase-file",
                                      passphrase.string(),
                                      "--no-symkey-cache"};
        if (decrypt) {
            a.push_back("--decrypt");
        } else {
            for (const char* x : {"--symmetric", "--armor", "-z", "0", "--cipher-algo", "BLOWFISH"})
                a.push_back(x);
        }
        return a;
    }
};

Setup& TheSetup() {
    static Setup setup;
    return setup;
}

constexpr const char* kTools[] = {"Tavorin", "OpenSSL", "Gpg"};

struct Best {
    double seconds = 1e300;
    long peakKiB = 0;
};
std::map<std::string, Best> g_best;  // "Encrypt_Tavorin" -> fastest run, largest peak

// Each iteration runs every tool once, in turn, so that the machine's state (page cache,
// writeback of earlier output) falls on all of them alike; the fastest run of each counts.
void Round(benchmark::State& state, bool decrypt) {
    Setup& s = TheSetup();
    const char* direction = decrypt ? "Decrypt" : "Encrypt";
    const auto args = [&](const std::string& tool, bool d) {
        return tool == "Tavorin"   ? s.Tavorin(d ? "decrypt" : "encrypt")
               : tool == "OpenSSL" ? Setup::OpenSsl(d)
                                   : s.Gpg(d);
    };
    const auto env = [&](const std::string& tool) { return tool == "Tavorin" ? s.keyEnv : std::vector<std::string>{}; };
    const auto sealed = [&](const std::string& tool) { return s.dir / (tool + ".sealed"); };
    const auto opened = [&](const std::string& tool) { return s.dir / (tool + ".opened"); };
    if (decrypt) {
        for (const std::string tool : kTools) {
            if (RunChild(args(tool, false), s.message, sealed(tool), env(tool)).status != 0) {
                state.SkipWithError((tool + " could not prepare the encrypted input; is it installed?").c_str());
                return;
            }
        }
    }
    for (auto _ : state) {
        double total = 0;
        for (const std::string tool : kTools) {
            const Child c = decrypt ? RunChild(args(tool, true), sealed(tool), opened(tool), env(tool))
                                    : RunChild(args(tool, false), s.message, sealed(tool), env(tool));
            if (c.status != 0) {
                state.SkipWithError((tool + " failed; is it installed?").c_str());
                return;
            }
            Best& best = g_best[std::string(direction) + "_" + tool];
            best.seconds = std::min(best.seconds, c.seconds);
            best.peakKiB = std::max(best.peakKiB, c.maxRssKiB);
            total += c.seconds;
        }
        state.SetIterationTime(total);
    }
    for (const std::string tool : kTools) {
        if (decrypt && fs::file_size(opened(tool)) != kMessage) {
            state.SkipWithError((tool + ": the decrypted message differs in length").c_str());
            return;
        }
        const Best& best = g_best[std::string(direction) + "_" + tool];
        state.counters[tool + "_ms"] = best.seconds * 1000.0;
        state.counters[tool + "_MiB"] = static_cast<double>(best.peakKiB) / 1024.0;
    }
}

void PrintWallRatios(const char* direction) {
    const std::string base = std::string(direction) + "_";
    const auto ours = g_best.find(base + "Tavorin");
    if (ours == g_best.end())
        return;
    for (const char* peer : {"OpenSSL", "Gpg"}) {
        const auto it = g_best.find(base + peer);
        if (it == g_best.end())
            continue;
        const double ratio = ours->second.seconds / it->second.seconds;
        std::printf("%s 16 MiB message: Tavorin/%s wall time = %.2f (target < 1.00, %s) (%.0f ms against %.0f ms)\n",
                    direction, peer, ratio, ratio < 1.0 ? "met" : "NOT met", ours->second.seconds * 1000.0,
                    it->second.seconds * 1000.0);
    }
    const double times = static_cast<double>(ours->second.peakKiB) * 1024.0 / static_cast<double>(kMessage);
    std::printf("%s 16 MiB message: Tavorin peak memory = %.2f x the message (target < 6, %s)\n", direction, times,
                times < 6.0 ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
    for (const bool decrypt : {false, true}) {
        benchmark::RegisterBenchmark(decrypt ? "Envelope16MiB_Decrypt_AllTools" : "Envelope16MiB_Encrypt_AllTools",
                                     [decrypt](benchmark::State& st) { Round(st, decrypt); })
            ->UseManualTime()
            ->Iterations(7)
            ->Unit(benchmark::kMillisecond);
    }
    tavorin::bench::RunAndCollect(argc, argv);
    PrintWallRatios("Encrypt");
    PrintWallRatios("Decrypt");
    return 0;
}

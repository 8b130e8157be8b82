// tavorin-cli against its own parts and its peers, run after run in turn, medians of the
// wall times (other work on the machine slows all of them alike):
//   decrypt-file of 256 MiB (Twofish, files in /dev/shm) on every core against one core
//   (taskset), target >= 1.7;
//   decrypt of a 16 MiB Blowfish envelope to /dev/null against openssl enc -bf-cbc -d -a,
//   target <= 0.5, and its peak memory (standard input and a file) against the envelope's
//   size, target <= 2;
//   encrypt of a 16 MiB Blowfish message to /dev/null against the bare CBC chain over the
//   same bytes (in this process), target <= 1.15, and against openssl enc -bf-cbc -a,
//   target <= 0.9;
//   encrypt and decrypt of a 40-byte message against /bin/true started the same way,
//   target <= 1.3;
//   decrypt-file of 256 MiB on every core with its digest checked against --bare, each
//   cipher, target <= 1.05 for DES and Gost and <= 1.15 for the others, beside the ratio of their
//   processor times (the least the wall ratio can be while every core is busy) and the floor
//   that the hash alone sets, (bare + SHA-256 of the frame) / bare, its processor time taken
//   here over the same file.
// Arguments: the rounds (5), then the parts to run (cores, decrypt, encrypt, start, digest;
// all).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <time.h>
#include <unistd.h>

#include "BenchChild.h"
#include "base/Team.h"
#include "codecs/CSHA256.h"
#include "engines/Registry.h"
#include "envelope/FileDigest.h"

namespace fs = std::filesystem;
using tavorin::bench::RunChild;

namespace {

const std::vector<std::string> kEnv = {"TAVORIN_BENCH_KEY=correct horse battery staple"};
constexpr const char* kKeyHex = "00112233445566778899aabbccddeeff";
constexpr const char* kIvHex = "0011223344556677";

std::vector<std::string> Tavorin(std::vector<std::string> args) {
    args.insert(args.begin(), TAVORIN_CLI_PATH);
    args.push_back("--key-env");
    args.push_back("TAVORIN_BENCH_KEY");
    return args;
}

std::vector<std::string> OpenSsl(bool decrypt) {
    std::vector<std::string> a = {"openssl", "enc",  "-bf-cbc",   "-a",     "-K",        kKeyHex,
                                  "-iv",     kIvHex, "-provider", "legacy", "-provider", "default"};
    if (decrypt)
        a.push_back("-d");
    return a;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs each of the commands once per round, `rounds` times; the median wall time of each.
std::vector<double> Medians(int rounds, const std::vector<std::function<double()>>& runs) {
    std::vector<std::vector<double>> times(runs.size());
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < runs.size(); ++i)
            times[i].push_back(runs[i]());
    }
    std::vector<double> medians;
    for (auto& t : times)
        medians.push_back(Median(t));
    return medians;
}

double Run(const std::vector<std::string>& args, const fs::path& in, const fs::path& out) {
    const auto c = RunChild(args, in, out, kEnv);
    if (c.status != 0) {
        std::fprintf(stderr, "failed: %s\n", args[0].c_str());
        std::exit(1);
    }
    return c.seconds;
}

void Report(const char* what, double ours, double theirs, const char* peer, double target, bool atMost) {
    const double ratio = ours / theirs;
    const bool met = atMost ? ratio <= target : ratio >= target;
    std::printf("%s: %.3f (target %s %.2f, %s) (%.1f ms against %s %.1f ms)\n", what, ratio,
                atMost ? "<=" : ">=", target, met ? "met" : "NOT met", ours * 1e3, peer, theirs * 1e3);
}

double ProcessorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The processor time of SHA-256 over a file's bytes from `from` on, read in the 1 MiB chunks
// that decrypt-file hashes (the reading not counted).
double HashSeconds(const fs::path& path, std::size_t from) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    std::vector<char> chunk(std::size_t{1} << 20);
    tavorin::CSHA256 sha;
    double seconds = 0;
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        const double start = ProcessorSeconds();
        sha.Update(reinterpret_cast<const std::uint8_t*>(chunk.data()), static_cast<std::size_t>(in.gcount()));
        seconds += ProcessorSeconds() - start;
    }
    sha.Final();
    return seconds;
}

void WriteText(const fs::path& path, std::size_t size) {
    std::mt19937 rng(42);
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = (i % 72 == 71) ? '\n' : static_cast<char>(' ' + rng() % 95);
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
    tavorin::bench::ServePeakOf(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const auto part = [&](std::string_view name) {
        return argc <= 2 || std::find(argv + 2, argv + argc, name) != argv + argc;
    };
    const fs::path dir = fs::exists("/dev/shm") ? fs::path("/dev/shm") / ("tavorin-speed-" + std::to_string(getpid()))
                                                : tavorin::bench::MakeTempDir("tavorin-speed");
    fs::create_directories(dir);
    const fs::path null = "/dev/null";

    // Decryption on every core.
    if (part("cores")) {
        const fs::path plain = dir / "plain", sealed = dir / "sealed", opened = dir / "opened";
        WriteText(plain, std::size_t{256} << 20);
        Run(Tavorin({"encrypt-file", "-c", "Twofish", plain.string(), sealed.string()}), null, null);
        fs::remove(plain);
        auto decrypt = [&](bool one) {
            fs::remove(opened);
            std::vector<std::string> args =
                Tavorin({"decrypt-file", "-c", "Twofish", sealed.string(), opened.string()});
            if (one)
                args.insert(args.begin(), {"taskset", "-c", "0"});
            return Run(args, null, null);
        };
        const auto m = Medians(rounds, {[&] { return decrypt(true); }, [&] { return decrypt(false); }});
        std::printf("Cores the process may use: %zu\n", tavorin::CoreCount());
        Report("decrypt-file 256 MiB Twofish, one core / every core", m[0], m[1], "every core", 1.7, false);
        fs::remove(sealed);
        fs::remove(opened);
    }

    // The file digest, checked alongside the decryption, against the bare frame.
    if (part("digest")) {
        const fs::path plain = dir / "plain", sealed = dir / "sealed", bare = dir / "bare", opened = dir / "opened";
        WriteText(plain, std::size_t{256} << 20);
        for (const auto name : tavorin::EngineNames) {
            const std::string cipher(name.begin(), name.end());
            fs::remove(sealed);
            fs::remove(bare);
            Run(Tavorin({"encrypt-file", "-c", cipher, plain.string(), sealed.string()}), null, null);
            Run(Tavorin({"encrypt-file", "--bare", "-c", cipher, plain.string(), bare.string()}), null, null);
            std::vector<double> cpu[2];
            auto decrypt = [&](bool digested) {
                fs::remove(opened);
                std::vector<std::string> args = Tavorin({"decrypt-file", "-c", cipher});
                if (!digested)
                    args.push_back("--bare");
                args.insert(args.end(), {(digested ? sealed : bare).string(), opened.string()});
                const auto c = RunChild(args, null, null, kEnv);
                if (c.status != 0) {
                    std::fprintf(stderr, "failed: decrypt-file %s\n", cipher.c_str());
                    std::exit(1);
                }
                cpu[digested ? 0 : 1].push_back(c.cpuSeconds);
                return c.seconds;
            };
            std::vector<double> hash;
            const auto m = Medians(rounds, {[&] { return decrypt(true); }, [&] { return decrypt(false); },
                                            [&] {
                                                hash.push_back(HashSeconds(sealed, tavorin::envelope::FileDigestSize));
                                                return 0.0;
                                            }});
            const bool slow = cipher == "DES" || cipher == "Gost";
            Report(("decrypt-file 256 MiB " + cipher + ", digest checked / --bare").c_str(), m[0], m[1], "--bare",
                   slow ? 1.05 : 1.15, true);
            // With every core busy the wall times can differ by no less than the processor time,
            // which the hash adds whatever the schedule. What the digested run spends beyond bare
            // and hash is taken round by round, the two runs side by side, so that a change of
            // load between rounds cancels out.
            std::vector<double> beyond;
            for (std::size_t r = 0; r < hash.size(); ++r)
                beyond.push_back(cpu[0][r] - cpu[1][r] - hash[r]);
            const double digested = Median(cpu[0]), bareCpu = Median(cpu[1]), hashCpu = Median(hash);
            std::printf(
                "  processor time, digest checked / --bare: %.3f (%.0f ms against %.0f ms); the hash's "
                "floor %.3f (SHA-256 %.0f ms), spent beyond bare and hash %+.0f ms\n",
                digested / bareCpu, digested * 1e3, bareCpu * 1e3, (bareCpu + hashCpu) / bareCpu, hashCpu * 1e3,
                Median(beyond) * 1e3);
        }
        fs::remove(plain);
        fs::remove(sealed);
        fs::remove(bare);
        fs::remove(opened);
    }

    // The envelope both ways.
    const fs::path message = dir / "message", ours = dir / "ours", theirs = dir / "theirs";
    WriteText(message, std::size_t{16} << 20);
    Run(Tavorin({"encrypt", "-c", "Blowfish"}), message, ours);
    Run(OpenSsl(false), message, theirs);
    if (part("decrypt")) {
        const auto m = Medians(rounds, {[&] {
                                            return Run(Tavorin({"decrypt", "-c", "Blowfish"}), ours, null);
                                        },
                                        [&] { return Run(OpenSsl(true), theirs, null); }});
        Report("decrypt 16 MiB Blowfish envelope to /dev/null, tavorin-cli / openssl", m[0], m[1], "openssl", 0.5,
               true);
        // Memory: the peak resident size of decrypt over the envelope's size, target <= 2.
        const double envelopeKiB = static_cast<double>(fs::file_size(ours)) / 1024;
        for (const bool fromFile : {false, true}) {
            auto args = Tavorin({"decrypt", "-c", "Blowfish"});
            if (fromFile)
                args.insert(args.end(), {"-i", ours.string()});
            const auto c = RunChild(args, fromFile ? null : ours, null, kEnv, true);
            const double ratio = static_cast<double>(c.maxRssKiB) / envelopeKiB;
            std::printf(
                "decrypt 16 MiB envelope from %s, peak memory / envelope: %.3f (target <= 2.00, %s) (%ld KiB)\n",
                fromFile ? "a file" : "standard input", ratio, c.status == 0 && ratio <= 2 ? "met" : "NOT met",
                c.maxRssKiB);
        }
    }
    if (part("encrypt")) {
        // The bare chain: the engine's EncryptByte over the message's bytes, in this process.
        std::ifstream in(message, std::ios::binary);
        const tavorin::ByteArray bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto engine = tavorin::CreateEngine(u"Blowfish");
        engine->Key(u"correct horse battery staple");
        const auto chain = [&] {
            tavorin::ByteArray copy;
            copy.reserve(bytes.size() + 64);
            copy = bytes;
            const auto start = std::chrono::steady_clock::now();
            engine->EncryptByte(copy);
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        const auto m = Medians(rounds, {[&] {
                                            return Run(Tavorin({"encrypt", "-c", "Blowfish"}), message, null);
                                        },
                                        chain, [&] { return Run(OpenSsl(false), message, null); }});
        Report("encrypt 16 MiB Blowfish to /dev/null, tavorin-cli / bare CBC chain", m[0], m[1], "the chain", 1.15,
               true);
        Report("encrypt 16 MiB Blowfish to /dev/null, tavorin-cli / openssl", m[0], m[2], "openssl", 0.9, true);
    }

    // Starting: many runs of a 40-byte message.
    if (part("start")) {
        const fs::path small = dir / "small", smallSealed = dir / "small-sealed";
        std::ofstream(small) << "A message of forty bytes, no more, no l\n";
        Run(Tavorin({"encrypt", "-c", "Blowfish"}), small, smallSealed);
        const int many = 40 * rounds;
        const auto m = Medians(many, {[&] { return Run({"/bin/true"}, small, null); },
                                      [&] {
                                          return Run(Tavorin({"encrypt", "-c", "Blowfish"}), small, null);
                                      },
                                      [&] {
                                          return Run(Tavorin({"decrypt", "-c", "Blowfish"}), smallSealed, null);
                                      },
                                      [&] { return Run(Tavorin({"decrypt"}), smallSealed, null); }});
        Report("encrypt 40 bytes, tavorin-cli / /bin/true", m[1], m[0], "/bin/true", 1.3, true);
        Report("decrypt 40 bytes, tavorin-cli / /bin/true", m[2], m[0], "/bin/true", 1.3, true);
        // As a person runs it: the cipher and the passes found by the program.
        Report("decrypt 40 bytes, cipher found, tavorin-cli / /bin/true", m[3], m[0], "/bin/true", 1.3, true);
    }
    fs::remove_all(dir);
    return 0;
}

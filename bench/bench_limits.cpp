// Opening a large envelope: a 100 MiB message sealed by tavorin-cli itself (an envelope of
// about 300 MiB), opened by `tavorin-cli decrypt` from a file named with -i and from standard
// input, each into a file. The child's peak resident memory (wait4) is the figure, as a
// multiple of the envelope's size (target: no more than 2); openssl enc -d -a, which streams
// its base64 text of the same ciphertext size, is measured beside it for scale.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
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

constexpr std::size_t kMessage = std::size_t{100} << 20;

using Outcome = tavorin::bench::Child;

// The program with the benchmark's key in its environment.
Outcome Spawn(const std::vector<std::string>& args, const fs::path& in, const fs::path& out) {
    return tavorin::bench::RunChild(args, in, out, {"TAVORIN_BENCH_KEY=correct horse battery staple"});
}

struct Files {
    fs::path dir, message, envelope, base64;

    Files() {
        dir = tavorin::bench::MakeTempDir("tavorin-bench-limits");
        message = dir / "message.txt";
        envelope = dir / "message.env";
        base64 = dir / "message.b64";
        std::mt19937 rng(7);
        std::string text(kMessage, ' ');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = (i % 72 == 71) ? '\n' : static_cast<char>(' ' + rng() % 95);
        }
        std::ofstream(message, std::ios::binary) << text;
        ok = Spawn({TAVORIN_CLI_PATH, "encrypt", "--key-env", "TAVORIN_BENCH_KEY", "-i", message.string(), "-o",
                    envelope.string()},
                   "/dev/null", dir / "encrypt.out")
                     .status == 0 &&
             Spawn({"openssl", "enc", "-bf-cbc", "-a", "-K", "00112233445566778899aabbccddeeff", "-iv",
                    "0011223344556677", "-provider", "legacy", "-provider", "default"},
                   message, base64)
                     .status == 0;
    }
    ~Files() { fs::remove_all(dir); }
    bool ok = false;
};

Files& TheFiles() {
    static Files files;
    return files;
}

std::map<std::string, Outcome> g_seen;  // each way of opening: its largest peak, its fastest run

void Open(benchmark::State& state, const std::string& way) {
    Files& f = TheFiles();
    if (!f.ok) {
        state.SkipWithError("the envelope could not be made (tavorin-cli or openssl failed)");
        return;
    }
    const fs::path opened = f.dir / "opened";
    std::vector<std::string> args = {TAVORIN_CLI_PATH, "decrypt", "--key-env", "TAVORIN_BENCH_KEY"};
    fs::path in = f.envelope;
    if (way == "InputFile") {
        args.insert(args.end(), {"-i", f.envelope.string()});
        in = "/dev/null";
    } else if (way == "OpenSSL") {
        args = {"openssl",
                "enc",
                "-d",
                "-bf-cbc",
                "-a",
                "-K",
                "00112233445566778899aabbccddeeff",
                "-iv",
                "0011223344556677",
                "-provider",
                "legacy",
                "-provider",
                "default"};
        in = f.base64;
    }
    for (auto _ : state) {
        const Outcome r = Spawn(args, in, opened);
        if (r.status != 0 || fs::file_size(opened) != kMessage) {
            state.SkipWithError((way + ": the envelope did not open to the message").c_str());
            return;
        }
        state.SetIterationTime(r.seconds);
        Outcome& seen = g_seen[way];
        seen.maxRssKiB = std::max(seen.maxRssKiB, r.maxRssKiB);
        seen.seconds = seen.seconds == 0 ? r.seconds : std::min(seen.seconds, r.seconds);
    }
    const double size = static_cast<double>(fs::file_size(way == "OpenSSL" ? f.base64 : f.envelope));
    state.counters["peak_MiB"] = static_cast<double>(g_seen[way].maxRssKiB) / 1024.0;
    state.counters["peak_x_input"] = static_cast<double>(g_seen[way].maxRssKiB) * 1024.0 / size;
}

}  // namespace

int main(int argc, char** argv) {
    for (const char* way : {"InputFile", "StandardInput", "OpenSSL"}) {
        benchmark::RegisterBenchmark((std::string("OpenEnvelope100MiB_") + way).c_str(),
                                     [way](benchmark::State& st) { Open(st, way); })
            ->UseManualTime()
            ->Iterations(2)
            ->Unit(benchmark::kMillisecond);
    }
    tavorin::bench::RunAndCollect(argc, argv);
    if (!TheFiles().ok)
        return 1;
    const double envelope = static_cast<double>(fs::file_size(TheFiles().envelope));
    for (const char* way : {"InputFile", "StandardInput"}) {
        const auto it = g_seen.find(way);
        if (it == g_seen.end())
            continue;
        const double times = static_cast<double>(it->second.maxRssKiB) * 1024.0 / envelope;
        std::printf("Opening a %.0f MiB envelope (%s): peak memory = %.2f x the envelope (target <= 2, %s)\n",
                    envelope / 1048576.0, way, times, times <= 2.0 ? "met" : "NOT met");
    }
    const auto peer = g_seen.find("OpenSSL");
    const auto ours = g_seen.find("InputFile");
    if (peer != g_seen.end() && ours != g_seen.end()) {
        std::printf(
            "openssl enc -d -a of the same ciphertext as base64: peak memory = %.1f MiB; "
            "wall time Tavorin/OpenSSL = %.2f (%.0f ms against %.0f ms)\n",
            static_cast<double>(peer->second.maxRssKiB) / 1024.0, ours->second.seconds / peer->second.seconds,
            ours->second.seconds * 1000.0, peer->second.seconds * 1000.0);
    }
    return 0;
}

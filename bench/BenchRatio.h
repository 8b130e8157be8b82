#pragma once
// Runs the registered benchmarks, prints them as usual, and keeps each one's throughput (the
// best of its repetitions) so that a program can print ratios between our code and the peers
// measured in the same run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace tavorin::bench {

using Throughputs = std::map<std::string, double>;  // benchmark name -> bytes per second

class ThroughputReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const auto it = run.counters.find("bytes_per_second");
            // With repetitions, the best one: on a shared machine the others measure the load.
            if (it != run.counters.end()) {
                double& rate = rates[run.benchmark_name()];
                rate = std::max(rate, it->second.value);
            }
        }
        // Repeated benchmarks show only their summary lines.
        std::vector<Run> shown;
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate)
                shown.push_back(run);
        }
        ConsoleReporter::ReportRuns(shown.empty() ? runs : shown);
    }
    Throughputs rates;
};

inline Throughputs RunAndCollect(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    ThroughputReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.rates;
}

inline double MBps(double bytesPerSecond) { return bytesPerSecond / 1e6; }

// "label: ours/fastest = r (ours X MB/s, Peer Y MB/s, ...)"; nothing when a side was not run
// (a --benchmark_filter). Returns the ratio, or 0.
inline double PrintRatio(const Throughputs& rates, const char* label, const std::string& ours,
                         std::initializer_list<std::string> peers, double target) {
    const auto own = rates.find(ours);
    if (own == rates.end())
        return 0;
    double fastest = 0;
    std::string peerText;
    for (const std::string& peer : peers) {
        const auto it = rates.find(peer);
        if (it == rates.end())
            continue;
        if (it->second > fastest)
            fastest = it->second;
        char part[160];
        std::snprintf(part, sizeof part, ", %s %.0f MB/s", peer.c_str(), MBps(it->second));
        peerText += part;
    }
    if (fastest == 0)
        return 0;
    const double ratio = own->second / fastest;
    std::printf("%s: ours/fastest = %.2f (target >= %.2f%s) (ours %.0f MB/s%s)\n", label, ratio, target,
                ratio >= target ? ", met" : ", NOT met", MBps(own->second), peerText.c_str());
    return ratio;
}

inline void PrintThroughput(const Throughputs& rates, const char* label, const std::string& name) {
    const auto it = rates.find(name);
    if (it != rates.end())
        std::printf("%s: %.0f MB/s\n", label, MBps(it->second));
}

}  // namespace tavorin::bench

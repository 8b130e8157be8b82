#pragma once
// The 1 MiB of random input that the cipher benchmarks share.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "base/Types.h"

namespace tavorin::bench {

inline constexpr std::size_t kSize = 1u << 20;

inline ByteArray RandomBytes(std::size_t n, unsigned variant) {
    std::mt19937 rng(variant);
    ByteArray bytes(n);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

inline const ByteArray& Data() {
    static const ByteArray data = RandomBytes(kSize, 1);
    return data;
}

inline void Throughput(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

}  // namespace tavorin::bench

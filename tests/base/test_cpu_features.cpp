#include <gtest/gtest.h>

#include "base/CpuFeatures.h"

namespace {

// The loader's answers name the same extensions as the compiler's check: a bit read from the
// wrong place would pick a vector path the processor cannot run, or never pick it.
TEST(CpuFeatures, AgreeWithTheCompilersCheck) {
#if defined(__x86_64__) && !defined(__EMSCRIPTEN__)
    EXPECT_EQ(tavorin::cpu::Ssse3(), __builtin_cpu_supports("ssse3") != 0);
    EXPECT_EQ(tavorin::cpu::Avx2(), __builtin_cpu_supports("avx2") != 0);
    EXPECT_EQ(tavorin::cpu::Bmi1(), __builtin_cpu_supports("bmi") != 0);
    EXPECT_EQ(tavorin::cpu::Avx512Vbmi(), __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw") &&
                                              __builtin_cpu_supports("avx512vl"));
    EXPECT_EQ(tavorin::cpu::ShaExtensions(), __builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1"));
#else
    EXPECT_FALSE(tavorin::cpu::Avx2());
#endif
}

}  // namespace

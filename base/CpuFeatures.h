#pragma once
// The processor's instruction set extensions, as far as the vector paths ask.
//
// Under glibc the answers come from what the loader found when the program started. Asking
// the processor again (cpuid) traps to the hypervisor on a virtual machine, some microseconds
// each, and the compiler's own check asks it a dozen times before main for every program it
// is linked into, which made a short run noticeably slower.

#include <cstddef>  // the C library's own macros (__GLIBC__) first

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GLIBC__) && __has_include(<sys/platform/x86.h>)
#if defined(__clang__) && !defined(_Bool)
// The header is C and spells its return type _Bool, which GCC's C++ knows and Clang's does not.
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#define TAVORIN_CPU_FROM_LOADER 1
#endif

namespace tavorin::cpu {

#if (defined(__x86_64__) || defined(__i386__)) && !defined(__EMSCRIPTEN__)

#ifdef TAVORIN_CPU_FROM_LOADER
// Active: the processor has it and the system keeps its registers (AVX2's too).
inline bool Ssse3() noexcept { return CPU_FEATURE_ACTIVE(SSSE3); }
inline bool Avx2() noexcept { return CPU_FEATURE_ACTIVE(AVX2); }
inline bool Bmi1() noexcept { return CPU_FEATURE_ACTIVE(BMI1); }
// Byte permutes across a whole register (VBMI), with the byte forms of BW and the
// half-width forms of VL.
inline bool Avx512Vbmi() noexcept {
    return CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW) && CPU_FEATURE_ACTIVE(AVX512VL) &&
           CPU_FEATURE_ACTIVE(AVX512_VBMI);
}
inline bool ShaExtensions() noexcept {
    return CPU_FEATURE_ACTIVE(SHA) && CPU_FEATURE_ACTIVE(SSSE3) && CPU_FEATURE_ACTIVE(SSE4_1);
}
#else
inline bool Ssse3() noexcept { return __builtin_cpu_supports("ssse3"); }
inline bool Avx2() noexcept { return __builtin_cpu_supports("avx2"); }
inline bool Bmi1() noexcept { return __builtin_cpu_supports("bmi"); }
inline bool Avx512Vbmi() noexcept {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
}
inline bool ShaExtensions() noexcept {
    return __builtin_cpu_supports("sha") && __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
}
#endif

#elif defined(__EMSCRIPTEN__) && defined(__wasm_simd128__) && defined(__SSSE3__)

// The page's module, built for WebAssembly's 128-bit vector instructions: Emscripten's headers
// carry the SSSE3 intrinsics over to them, and nothing wider.
inline bool Ssse3() noexcept { return true; }
inline bool Avx2() noexcept { return false; }
inline bool Bmi1() noexcept { return false; }
inline bool Avx512Vbmi() noexcept { return false; }
inline bool ShaExtensions() noexcept { return false; }

#else

inline bool Ssse3() noexcept { return false; }
inline bool Avx2() noexcept { return false; }
inline bool Bmi1() noexcept { return false; }
inline bool Avx512Vbmi() noexcept { return false; }
inline bool ShaExtensions() noexcept { return false; }

#endif

}  // namespace tavorin::cpu

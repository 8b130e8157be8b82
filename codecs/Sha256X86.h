#pragma once
// The SHA-256 compression on the CPU's SHA instructions (Sha256X86.cpp), which CSHA256.cpp
// chooses over its portable compression when the CPU has them; both give the same digests.
// Only those two files include this header.

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#define TAVORIN_SHA_X86 1
// Per function, never per file: an inline function built for a wider target could be the copy
// the linker keeps for every caller.
#define TAVORIN_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

namespace tavorin::sha256 {

// Processes count consecutive blocks of 64 units (bytes, or characters of which the low byte
// counts) into state (H0..H7); roundConstants: the 64 words, 16-byte aligned. For std::uint8_t
// and char16_t.
template <class Unit>
TAVORIN_SHA_TARGET void CompressShaExtensions(std::uint32_t* state, const Unit* blocks, std::size_t count,
                                              const std::uint32_t* roundConstants) noexcept;

}  // namespace tavorin::sha256
#endif

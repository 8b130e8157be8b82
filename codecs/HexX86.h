#pragma once
// The pairs with one-character gaps, the envelope's, in every form modHEX chooses from: the
// portable table code (modHEX.cpp) and, on x86-64, SSSE3, AVX2 and AVX-512 code (HexX86.cpp),
// which hands its last few pairs to the form below it; in the page, the SSSE3 code alone. Every
// form gives the same characters, the same bytes and the same refusals. Only modHEX.cpp and
// HexX86.cpp include this header.
//
// Encoding writes 3n characters for n bytes, the gap after every pair (the last one too).
// Decoding reads `count` pairs at 3i and 3i + 1 from a text of at least 3 * count - 1
// characters, never looks at the gaps, and is false at a digit outside "0".."F". The led
// pairs are the leading " XX" triples (either case) of `count` at most: how many were read.

#include <array>
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && !defined(__EMSCRIPTEN__)
#define TAVORIN_HEX_X86 1
#define TAVORIN_HEX_VECTOR 1
// Per function, never per file: an inline function built for a wider target could be the
// copy the linker keeps for every caller.
#define TAVORIN_HEX_SSSE3 __attribute__((target("ssse3")))
#define TAVORIN_HEX_AVX2 __attribute__((target("avx2")))
#define TAVORIN_HEX_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi")))
#elif defined(__EMSCRIPTEN__) && defined(__wasm_simd128__) && defined(__SSSE3__)
// The page: the SSSE3 forms alone, on WebAssembly's vector instructions, which Emscripten's
// intrinsics headers carry them over to; the whole module is built for them.
#define TAVORIN_HEX_VECTOR 1
#define TAVORIN_HEX_SSSE3
#endif

namespace tavorin::modHEX::gapped {

// Digit codes run from 48 ("0") to 70 ("F"): 23 codes per digit.
inline constexpr std::uint32_t kFirstCode = 48;
inline constexpr std::uint32_t kCodes = 23;

// " XX" triples: the value of each digit of either case, 0xFF for any other character.
inline constexpr auto kAnyCaseDigit = [] {
    std::array<std::uint8_t, 256> t{};
    t.fill(0xFF);
    for (int c = 0; c < 10; ++c)
        t['0' + c] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c)
        t['A' + c] = t['a' + c] = static_cast<std::uint8_t>(10 + c);
    return t;
}();

void EncodePortable(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept;
template <class Char>
bool DecodePortable(const Char* text, std::size_t count, std::uint8_t* out) noexcept;
std::size_t LedPairsPortable(const char* text, std::size_t count, std::uint8_t* out) noexcept;

#ifdef TAVORIN_HEX_VECTOR
TAVORIN_HEX_SSSE3 void EncodeSsse3(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept;
template <class Char>
TAVORIN_HEX_SSSE3 bool DecodeSsse3(const Char* text, std::size_t count, std::uint8_t* out) noexcept;
TAVORIN_HEX_SSSE3 std::size_t LedPairsSsse3(const char* text, std::size_t count, std::uint8_t* out) noexcept;
#endif

#ifdef TAVORIN_HEX_X86
TAVORIN_HEX_AVX2 void EncodeAvx2(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept;
TAVORIN_HEX_AVX512 void EncodeAvx512(const std::uint8_t* data, std::size_t n, char gap, char* out) noexcept;

// For char and char16_t; AVX-512 reads pairs as AVX2 does.
template <class Char>
TAVORIN_HEX_AVX2 bool DecodeAvx2(const Char* text, std::size_t count, std::uint8_t* out) noexcept;

TAVORIN_HEX_AVX2 std::size_t LedPairsAvx2(const char* text, std::size_t count, std::uint8_t* out) noexcept;
TAVORIN_HEX_AVX512 std::size_t LedPairsAvx512(const char* text, std::size_t count, std::uint8_t* out) noexcept;
#endif

}  // namespace tavorin::modHEX::gapped

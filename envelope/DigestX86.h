#pragma once
// The bytes the envelope's digest reads for the ciphertext's bytes (the low 8 bits of each
// one's character): the table loop (Envelope.cpp) and, on x86-64 and in the page, SSSE3 code
// (DigestX86.cpp), which gives the same bytes. Only those two files include this header.

#include <array>
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && !defined(__EMSCRIPTEN__)
#define TAVORIN_DIGEST_VECTOR 1
#define TAVORIN_DIGEST_SSSE3 __attribute__((target("ssse3")))
#elif defined(__EMSCRIPTEN__) && defined(__wasm_simd128__) && defined(__SSSE3__)
// The page: WebAssembly's vector instructions, through Emscripten's SSSE3 intrinsics.
#define TAVORIN_DIGEST_VECTOR 1
#define TAVORIN_DIGEST_SSSE3
#endif

namespace tavorin::envelope::digest {

// What the digest reads for each byte value.
const std::array<std::uint8_t, 256>& DigestBytes();

void MapPortable(const std::uint8_t* data, std::size_t n, std::uint8_t* out) noexcept;
#ifdef TAVORIN_DIGEST_VECTOR
TAVORIN_DIGEST_SSSE3 void MapSsse3(const std::uint8_t* data, std::size_t n, std::uint8_t* out) noexcept;
#endif

}  // namespace tavorin::envelope::digest

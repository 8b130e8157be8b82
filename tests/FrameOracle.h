#pragma once
// Helpers that check an engine's frames with a reference block cipher: CBC from an all-zero
// block, written here independently of the engines' frame code.

#include <cstddef>
#include <cstdint>
#include <random>

#include "base/AnsiCodePage.h"
#include "base/Types.h"

namespace tavorin::test {

inline ByteArray RandomBytes(std::mt19937& rng, std::size_t n) {
    ByteArray out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

// Key text whose code page bytes are exactly these bytes.
inline std::u16string TextOf(const ByteArray& bytes) { return AnsiCodePage::BytesToText(bytes); }

// The frame before chaining: 8 header bytes the caller does not care about (zero here), the
// length little-endian, the data, zero padding to whole blocks.
inline ByteArray PlainFrame(const ByteArray& data, std::size_t B) {
    const std::size_t n = (data.size() + 12 + B - 1) / B * B;
    ByteArray f(n, 0);
    const auto L = static_cast<std::uint32_t>(data.size());
    for (int i = 0; i < 4; ++i) f[8 + i] = static_cast<std::uint8_t>(L >> (8 * i));
    std::copy(data.begin(), data.end(), f.begin() + 12);
    return f;
}

// CBC with the reference block function fn(in, out), block size B.
template <class Fn>
ByteArray CbcEncrypt(ByteArray p, std::size_t B, Fn fn) {
    ByteArray prev(B, 0), out(B);
    for (std::size_t o = 0; o < p.size(); o += B) {
        for (std::size_t j = 0; j < B; ++j) p[o + j] ^= prev[j];
        fn(p.data() + o, out.data());
        std::copy(out.begin(), out.end(), p.begin() + o);
        std::copy(out.begin(), out.end(), prev.begin());
    }
    return p;
}

template <class Fn>
ByteArray CbcDecrypt(const ByteArray& c, std::size_t B, Fn fn) {
    ByteArray p(c.size()), prev(B, 0);
    for (std::size_t o = 0; o < c.size(); o += B) {
        fn(c.data() + o, p.data() + o);
        for (std::size_t j = 0; j < B; ++j) p[o + j] ^= prev[j];
        std::copy(c.begin() + o, c.begin() + o + B, prev.begin());
    }
    return p;
}

// The stored length of a decrypted frame.
inline std::uint32_t StoredLength(const ByteArray& frame) {
    return frame[8] | (frame[9] << 8) | (frame[10] << 16) | (std::uint32_t{frame[11]} << 24);
}

} // namespace tavorin::test

#pragma once
// Helpers for engine tests: frames checked with a reference block cipher (CBC from an
// all-zero block, written here independently of the engines' frame code), schedules compared
// by their output, and the Failure an operation throws.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "base/Types.h"
#include "engines/Engine.h"

namespace tavorin::test {

inline ByteArray RandomBytes(std::mt19937& rng, std::size_t n) {
    ByteArray out(n);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng());
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
    for (int i = 0; i < 4; ++i)
        f[8 + i] = static_cast<std::uint8_t>(L >> (8 * i));
    std::copy(data.begin(), data.end(), f.begin() + 12);
    return f;
}

// CBC with the reference block function fn(in, out), block size B, from the starting block
// iv (all zero when none is given).
template <class Fn>
ByteArray CbcEncrypt(ByteArray p, std::size_t B, Fn fn, ByteArray iv = {}) {
    ByteArray prev = iv.empty() ? ByteArray(B, 0) : iv, out(B);
    for (std::size_t o = 0; o < p.size(); o += B) {
        for (std::size_t j = 0; j < B; ++j)
            p[o + j] ^= prev[j];
        fn(p.data() + o, out.data());
        std::copy(out.begin(), out.end(), p.begin() + o);
        std::copy(out.begin(), out.end(), prev.begin());
    }
    return p;
}

template <class Fn>
ByteArray CbcDecrypt(const ByteArray& c, std::size_t B, Fn fn, ByteArray iv = {}) {
    ByteArray p(c.size()), prev = iv.empty() ? ByteArray(B, 0) : iv;
    for (std::size_t o = 0; o < c.size(); o += B) {
        fn(c.data() + o, p.data() + o);
        for (std::size_t j = 0; j < B; ++j)
            p[o + j] ^= prev[j];
        std::copy(c.begin() + o, c.begin() + o + B, prev.begin());
    }
    return p;
}

// The engine's own block function in the place of the reference's.
inline auto EngineBlock(Engine& e, bool encrypt = true) {
    return [&e, encrypt](const std::uint8_t* in, std::uint8_t* out) {
        std::copy(in, in + e.BlockSize(), out);
        encrypt ? e.RawEncryptBlock(out) : e.RawDecryptBlock(out);
    };
}

// The whole frame of data with these header words, chained through block(in, out).
template <class Fn>
ByteArray SealedFrame(const ByteArray& data, std::size_t B, std::uint32_t word0, std::uint32_t word1, Fn block) {
    ByteArray f = PlainFrame(data, B);
    for (int i = 0; i < 4; ++i) {
        f[i] = static_cast<std::uint8_t>(word0 >> (8 * i));
        f[4 + i] = static_cast<std::uint8_t>(word1 >> (8 * i));
    }
    return CbcEncrypt(f, B, block);
}

// The progress rule block by block over M bytes of blocks of B, as the engines promise it.
inline std::vector<int> ExpectedProgress(std::uint64_t M, std::size_t B) {
    std::vector<int> seen;
    std::int64_t next = 0;
    int last = 0;
    for (std::uint64_t o = 0; o <= M - 1; o += B) {
        if (static_cast<std::int64_t>(o) >= next) {
            last = static_cast<int>(static_cast<double>(o) / static_cast<double>(M) * 100.0);
            next = static_cast<std::int64_t>(std::rint((last + 1) / 100.0 * static_cast<double>(M) + 1));
            seen.push_back(last);
        }
    }
    if (last != 100)
        seen.push_back(100);
    return seen;
}

// The stored length of a decrypted frame.
inline std::uint32_t StoredLength(const ByteArray& frame) {
    return frame[8] | (frame[9] << 8) | (frame[10] << 16) | (std::uint32_t{frame[11]} << 24);
}

// A few blocks through the block function alone: equal exactly when the schedules are.
inline ByteArray Fingerprint(Engine& e) {
    ByteArray out;
    for (std::uint8_t variant : {0x00, 0x5A, 0xFF}) {
        ByteArray block(e.BlockSize());
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<std::uint8_t>(variant ^ (i * 37));
        e.RawEncryptBlock(block.data());
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// The fingerprint of a new engine given this key (and the further key arguments).
template <class E, class... More>
ByteArray FingerprintOf(std::u16string_view key, More... more) {
    E e;
    e.Key(key, more...);
    return Fingerprint(e);
}

// The Failure that op throws, or nothing.
template <class Op>
std::optional<Failure> FailureOf(Op&& op) {
    try {
        op();
    } catch (const Failure& f) {
        return f;
    }
    return std::nullopt;
}

}  // namespace tavorin::test

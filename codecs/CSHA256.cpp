#include "codecs/CSHA256.h"

#include <algorithm>
#include <atomic>
#include <bit>

#include "base/CpuFeatures.h"
#include "codecs/Sha256X86.h"

namespace tavorin {

namespace {

alignas(64) constexpr std::array<std::uint32_t, 64> RoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::array<std::uint32_t, 8> InitialHash = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

// Input comes as bytes, or as 16-bit characters of which only the low byte counts; the
// compressions read either directly, so that a text needs no narrowed copy.
template <class Unit>
inline std::uint8_t LowByte(Unit u) {
    return static_cast<std::uint8_t>(u);
}

constexpr std::uint32_t ChooseBits(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
constexpr std::uint32_t MajorityBits(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return (x & (y ^ z)) ^ (y & z);
}
constexpr std::uint32_t BigSigma0(std::uint32_t x) { return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22); }
constexpr std::uint32_t BigSigma1(std::uint32_t x) { return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25); }
constexpr std::uint32_t SmallSigma0(std::uint32_t x) { return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3); }
constexpr std::uint32_t SmallSigma1(std::uint32_t x) { return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10); }

template <class Unit>
inline std::uint32_t LoadBigEndian(const Unit* p) {
    return (std::uint32_t{LowByte(p[0])} << 24) | (std::uint32_t{LowByte(p[1])} << 16) |
           (std::uint32_t{LowByte(p[2])} << 8) | LowByte(p[3]);
}

inline void StoreBigEndian(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// One round; the caller rotates the names instead of moving eight values.
#define TAVORIN_SHA_ROUND(a, b, c, d, e, f, g, h, t, word)                                            \
    do {                                                                                              \
        const std::uint32_t t1 = h + BigSigma1(e) + ChooseBits(e, f, g) + RoundConstants[t] + (word); \
        const std::uint32_t t2 = BigSigma0(a) + MajorityBits(a, b, c);                                \
        d += t1;                                                                                      \
        h = t1 + t2;                                                                                  \
    } while (false)

// The schedule kept in 16 words: W(t) replaces W(t - 16).
#define TAVORIN_SHA_EXPAND(w, t) \
    (w[(t)&15] += SmallSigma1(w[((t)-2) & 15]) + w[((t)-7) & 15] + SmallSigma0(w[((t)-15) & 15]))

#define TAVORIN_SHA_EIGHT(t, word)                                     \
    TAVORIN_SHA_ROUND(a, b, c, d, e, f, g, h, (t) + 0, word((t) + 0)); \
    TAVORIN_SHA_ROUND(h, a, b, c, d, e, f, g, (t) + 1, word((t) + 1)); \
    TAVORIN_SHA_ROUND(g, h, a, b, c, d, e, f, (t) + 2, word((t) + 2)); \
    TAVORIN_SHA_ROUND(f, g, h, a, b, c, d, e, (t) + 3, word((t) + 3)); \
    TAVORIN_SHA_ROUND(e, f, g, h, a, b, c, d, (t) + 4, word((t) + 4)); \
    TAVORIN_SHA_ROUND(d, e, f, g, h, a, b, c, (t) + 5, word((t) + 5)); \
    TAVORIN_SHA_ROUND(c, d, e, f, g, h, a, b, (t) + 6, word((t) + 6)); \
    TAVORIN_SHA_ROUND(b, c, d, e, f, g, h, a, (t) + 7, word((t) + 7))

// Processes count consecutive blocks of 64 units into state (H0..H7).
template <class Unit>
void CompressPortable(std::uint32_t* state, const Unit* blocks, std::size_t count) noexcept {
    std::uint32_t w[16];
    for (; count != 0; --count, blocks += 64) {
        for (int t = 0; t < 16; ++t)
            w[t] = LoadBigEndian(blocks + 4 * t);
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
#define TAVORIN_SHA_LOADED(t) w[t]
#define TAVORIN_SHA_EXPANDED(t) TAVORIN_SHA_EXPAND(w, t)
        TAVORIN_SHA_EIGHT(0, TAVORIN_SHA_LOADED);
        TAVORIN_SHA_EIGHT(8, TAVORIN_SHA_LOADED);
        for (int t = 16; t < 64; t += 16) {
            TAVORIN_SHA_EIGHT(t, TAVORIN_SHA_EXPANDED);
            TAVORIN_SHA_EIGHT(t + 8, TAVORIN_SHA_EXPANDED);
        }
#undef TAVORIN_SHA_LOADED
#undef TAVORIN_SHA_EXPANDED
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#undef TAVORIN_SHA_EIGHT
#undef TAVORIN_SHA_EXPAND
#undef TAVORIN_SHA_ROUND

#ifdef TAVORIN_SHA_X86

bool CpuHasShaExtensions() noexcept { return cpu::ShaExtensions(); }

template <class Unit>
void CompressShaExtensions(std::uint32_t* state, const Unit* blocks, std::size_t count) noexcept {
    sha256::CompressShaExtensions(state, blocks, count, RoundConstants.data());
}

#else

bool CpuHasShaExtensions() noexcept { return false; }
template <class Unit>
void CompressShaExtensions(std::uint32_t* state, const Unit* blocks, std::size_t count) noexcept {
    CompressPortable(state, blocks, count);
}

#endif

bool ShaExtensionsPresent() noexcept {
    static const bool present = CpuHasShaExtensions();
    return present;
}

std::atomic<bool>& UseShaExtensions() noexcept {
    static std::atomic<bool> use{ShaExtensionsPresent()};
    return use;
}

template <class Unit>
void Compress(std::uint32_t* state, const Unit* blocks, std::size_t count) noexcept {
    if (UseShaExtensions().load(std::memory_order_relaxed)) {
        CompressShaExtensions(state, blocks, count);
    } else {
        CompressPortable(state, blocks, count);
    }
}

}  // namespace

bool CSHA256::ShaExtensionsAvailable() noexcept { return ShaExtensionsPresent(); }

CSHA256::Path CSHA256::ActivePath() noexcept {
    return UseShaExtensions().load(std::memory_order_relaxed) ? Path::ShaExtensions : Path::Portable;
}

bool CSHA256::SelectPath(Path path) noexcept {
    if (path == Path::ShaExtensions) {
        if (!ShaExtensionsPresent())
            return false;
        UseShaExtensions().store(true, std::memory_order_relaxed);
    } else {
        UseShaExtensions().store(false, std::memory_order_relaxed);
    }
    return true;
}

void CSHA256::Init() noexcept {
    state_ = InitialHash;
    pendingSize_ = 0;
    totalSize_ = 0;
}

template <class Unit>
void CSHA256::Absorb(const Unit* data, std::size_t size) noexcept {
    if (size == 0)
        return;
    totalSize_ += size;
    if (pendingSize_ != 0) {
        const std::size_t take = std::min(pending_.size() - pendingSize_, size);
        std::transform(data, data + take, pending_.begin() + static_cast<std::ptrdiff_t>(pendingSize_), LowByte<Unit>);
        pendingSize_ += take;
        data += take;
        size -= take;
        if (pendingSize_ < pending_.size())
            return;
        Compress(state_.data(), pending_.data(), 1);
        pendingSize_ = 0;
    }
    const std::size_t blocks = size / 64;
    if (blocks != 0) {
        Compress(state_.data(), data, blocks);
        data += blocks * 64;
        size -= blocks * 64;
    }
    std::transform(data, data + size, pending_.begin(), LowByte<Unit>);
    pendingSize_ = size;
}

void CSHA256::Update(const std::uint8_t* data, std::size_t size) noexcept { Absorb(data, size); }

void CSHA256::Update(std::u16string_view text) noexcept { Absorb(text.data(), text.size()); }

CSHA256::DigestBytes CSHA256::Final() noexcept {
    // The bit count is taken modulo 2^64, as the length field holds.
    const std::uint64_t bits = totalSize_ * 8;
    pending_[pendingSize_++] = 0x80;
    if (pendingSize_ > 56) {
        std::fill(pending_.begin() + static_cast<std::ptrdiff_t>(pendingSize_), pending_.end(), std::uint8_t{0});
        Compress(state_.data(), pending_.data(), 1);
        pendingSize_ = 0;
    }
    std::fill(pending_.begin() + static_cast<std::ptrdiff_t>(pendingSize_), pending_.begin() + 56, std::uint8_t{0});
    StoreBigEndian(pending_.data() + 56, static_cast<std::uint32_t>(bits >> 32));
    StoreBigEndian(pending_.data() + 60, static_cast<std::uint32_t>(bits));
    Compress(state_.data(), pending_.data(), 1);

    DigestBytes digest;
    for (std::size_t i = 0; i < 8; ++i)
        StoreBigEndian(digest.data() + 4 * i, state_[i]);
    Init();
    return digest;
}

CSHA256::DigestBytes CSHA256::Digest(const std::uint8_t* data, std::size_t size) noexcept {
    CSHA256 hash;
    hash.Update(data, size);
    return hash.Final();
}

std::string CSHA256::ToLowerHex(const DigestBytes& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex(64, '0');
    for (std::size_t i = 0; i < digest.size(); ++i) {
        hex[2 * i] = digits[digest[i] >> 4];
        hex[2 * i + 1] = digits[digest[i] & 15];
    }
    return hex;
}

std::string CSHA256::DigestHex(const std::uint8_t* data, std::size_t size) { return ToLowerHex(Digest(data, size)); }

std::u16string CSHA256::SHA256(std::u16string_view sMessage) const {
    CSHA256 hash;
    hash.Update(sMessage);
    const std::string hex = ToLowerHex(hash.Final());
    return std::u16string(hex.begin(), hex.end());
}

}  // namespace tavorin

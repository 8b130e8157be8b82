#include "codecs/CSHA256.h"

#include <algorithm>
#include <atomic>
#include <bit>

#include "base/CpuFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#define TAVORIN_SHA_X86 1
#include <immintrin.h>
#endif

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

// The state lives in two registers in the order the instructions want: ABEF and CDGH.
// Each sha256rnds2 does two rounds; the schedule runs four words at a time with
// sha256msg1 (the sigma0 part), an aligned add of W(t-7) and sha256msg2 (the sigma1 part).
#define TAVORIN_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

TAVORIN_SHA_TARGET inline __m128i LoadSixteen(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

TAVORIN_SHA_TARGET inline __m128i LoadSixteen(const char16_t* p) {
    const __m128i lowBytes = _mm_set1_epi16(0xFF);
    const __m128i first = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lowBytes);
    const __m128i second = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), lowBytes);
    return _mm_packus_epi16(first, second);
}

template <class Unit>
TAVORIN_SHA_TARGET void CompressShaExtensions(std::uint32_t* state, const Unit* blocks, std::size_t count) noexcept {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    const auto* k = reinterpret_cast<const __m128i*>(RoundConstants.data());

    for (; count != 0; --count, blocks += 64) {
        const __m128i abefStart = abef;
        const __m128i cdghStart = cdgh;
        __m128i m[4];
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            __m128i& words = m[group & 3];
            if (group < 4) {
                words = _mm_shuffle_epi8(LoadSixteen(blocks + 16 * group), byteSwap);
            } else {
                // words holds W(t-16..t-13); the others W(t-12..t-1).
                const __m128i& w12 = m[(group + 1) & 3];
                const __m128i& w8 = m[(group + 2) & 3];
                const __m128i& w4 = m[(group + 3) & 3];
                __m128i next = _mm_sha256msg1_epu32(words, w12);
                next = _mm_add_epi32(next, _mm_alignr_epi8(w4, w8, 4));
                words = _mm_sha256msg2_epu32(next, w4);
            }
            __m128i wk = _mm_add_epi32(words, _mm_load_si128(k + group));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            wk = _mm_shuffle_epi32(wk, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);
        }
        abef = _mm_add_epi32(abef, abefStart);
        cdgh = _mm_add_epi32(cdgh, cdghStart);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

#undef TAVORIN_SHA_TARGET

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

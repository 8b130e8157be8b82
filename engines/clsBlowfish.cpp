#include "engines/clsBlowfish.h"

#include <atomic>
#include <cstring>
#include <utility>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "base/Types.h"

namespace tavorin {

namespace blowfish {

const std::array<std::uint32_t, PiWordCount>& PiWords() noexcept {
    static constexpr std::array<std::uint32_t, PiWordCount> words = {
#include "engines/BlowfishPi.inc"
    };
    return words;
}

void Tables::Expand() noexcept {
    std::uint32_t L = 0, R = 0;
    for (std::size_t i = 0; i < P.size(); i += 2) {
        Encrypt(L, R);
        P[i] = L;
        P[i + 1] = R;
    }
    for (auto& box : S) {
        for (std::size_t i = 0; i < box.size(); i += 2) {
            Encrypt(L, R);
            box[i] = L;
            box[i + 1] = R;
        }
    }
}

}  // namespace blowfish

namespace {

// Sk[i] = W(18 + 4i + k): consecutive words go to the four boxes in turn.
blowfish::Tables MakeInitialTables() noexcept {
    const auto& W = blowfish::PiWords();
    blowfish::Tables t{};
    for (std::size_t i = 0; i < t.P.size(); ++i) {
        t.P[i] = W[i];
    }
    for (std::size_t i = 0; i < 256; ++i) {
        for (std::size_t k = 0; k < 4; ++k) {
            t.S[k][i] = W[18 + 4 * i + k];
        }
    }
    return t;
}

constexpr std::size_t KeyBytesUsed = 72;

}  // namespace

const blowfish::Tables& clsBlowfish::InitialTables() noexcept {
    static const blowfish::Tables initial = MakeInitialTables();
    return initial;
}

clsBlowfish::clsBlowfish() : tables_(InitialTables()) {}

clsBlowfish::~clsBlowfish() {
    SecureWipe(&tables_, sizeof tables_);
    SecureWipe(CurrentKey_);
}

void clsBlowfish::Key(std::u16string_view New_Value) {
    if (New_Value == CurrentKey_) {
        return;
    }
    if (New_Value.empty()) {
        SecureWipe(CurrentKey_);
        CurrentKey_.clear();
        throw Failure::Subscript();
    }
    // Converted before anything changes: a key the code page refuses leaves the engine as it was.
    ByteArray key = AnsiCodePage::NormalizedTextToBytes(New_Value);
    if (key.empty()) {
        throw Failure::Subscript();
    }
    SecureWipe(CurrentKey_);
    CurrentKey_.assign(New_Value);

    // Starting again from the initial tables overwrites the previous key's schedule.
    tables_ = InitialTables();
    const std::size_t n = key.size();
    std::size_t j = 0;
    for (std::size_t i = 0; i < tables_.P.size(); ++i) {
        std::uint32_t w = 0;
        for (int b = 0; b < 4; ++b) {
            // Shifted left with the low byte kept, then ORed: every key byte also lands in
            // the positions below it.
            w = (w << 8) | (w & 0xFFu) | key[j];
            j = (j + 1 == n) ? 0 : j + 1;
        }
        tables_.P[i] ^= w;
    }
    static_assert(sizeof(blowfish::Tables::P) == KeyBytesUsed, "18 key words of 4 bytes");
    tables_.Expand();
    SecureWipe(key);
}

namespace {

template <std::size_t N, class Step>
inline void ForEachLane(Step&& step) noexcept {
    [&]<std::size_t... I>(std::index_sequence<I...>) { (step(I), ...); }
    (std::make_index_sequence<N>{});
}

// Decrypts N independent blocks, interleaving their rounds so that their table look-ups
// overlap instead of waiting on one another.
template <std::size_t N>
inline void DecryptLanes(const blowfish::Tables& t, std::uint32_t (&l)[N], std::uint32_t (&r)[N]) noexcept {
    ForEachLane<N>([&](std::size_t b) {
        const std::uint32_t x = r[b];
        r[b] = l[b] ^ t.P[17];
        l[b] = x;
    });
#pragma GCC unroll 8
    for (std::size_t i = 16; i != 0; i -= 2) {
        ForEachLane<N>([&](std::size_t b) { l[b] = (l[b] ^ t.P[i]) ^ t.F(r[b]); });
        ForEachLane<N>([&](std::size_t b) { r[b] = (r[b] ^ t.P[i - 1]) ^ t.F(l[b]); });
    }
    ForEachLane<N>([&](std::size_t b) { l[b] ^= t.P[0]; });
}

// CBC-decrypts N blocks in place; prevL/prevR: the ciphertext block before them, then their last.
template <std::size_t N>
inline void DecryptGroupCBC(const blowfish::Tables& t, std::uint8_t* p, std::uint32_t& prevL,
                            std::uint32_t& prevR) noexcept {
    std::uint32_t l[N], r[N];
    ForEachLane<N>([&](std::size_t b) {
        l[b] = Module1::LoadBE32(p + 8 * b);
        r[b] = Module1::LoadBE32(p + 8 * b + 4);
    });
    DecryptLanes<N>(t, l, r);
    const std::uint32_t lastL = Module1::LoadBE32(p + 8 * (N - 1));
    const std::uint32_t lastR = Module1::LoadBE32(p + 8 * (N - 1) + 4);
    // The last block first, so that every block's chaining input is still ciphertext.
    ForEachLane<N>([&](std::size_t i) {
        const std::size_t b = N - 1 - i;
        const std::uint32_t chainL = b == 0 ? prevL : Module1::LoadBE32(p + 8 * b - 8);
        const std::uint32_t chainR = b == 0 ? prevR : Module1::LoadBE32(p + 8 * b - 4);
        Module1::StoreBE32(p + 8 * b, l[b] ^ chainL);
        Module1::StoreBE32(p + 8 * b + 4, r[b] ^ chainR);
    });
    prevL = lastL;
    prevR = lastR;
}

}  // namespace

namespace {

bool CpuHasBextr() noexcept {
#if defined(__GNUC__) && defined(__x86_64__)
    return __builtin_cpu_supports("bmi");
#else
    return false;
#endif
}

std::atomic<bool> g_bextr{CpuHasBextr()};

template <bool Bextr>
void ChainCBC(const blowfish::Tables& tables, std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept {
    std::uint32_t L = Module1::LoadBE32(prev), R = Module1::LoadBE32(prev + 4);
    for (std::uint8_t* p = data; p != data + 8 * blocks; p += 8) {
        L ^= Module1::LoadBE32(p);
        R ^= Module1::LoadBE32(p + 4);
        tables.Encrypt<Bextr>(L, R);
        Module1::StoreBE32(p, L);
        Module1::StoreBE32(p + 4, R);
    }
    Module1::StoreBE32(prev, L);
    Module1::StoreBE32(prev + 4, R);
}

}  // namespace

bool clsBlowfish::UsesBextr() noexcept { return g_bextr.load(std::memory_order_relaxed); }

bool clsBlowfish::SelectBextr(bool use) noexcept {
    if (use && !CpuHasBextr()) {
        return false;
    }
    g_bextr.store(use, std::memory_order_relaxed);
    return true;
}

void clsBlowfish::EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) const noexcept {
    if (UsesBextr()) {
        ChainCBC<true>(tables_, data, blocks, prev);
    } else {
        ChainCBC<false>(tables_, data, blocks, prev);
    }
}

void clsBlowfish::DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) const noexcept {
    // Five blocks at a time: as many as the registers hold with the look-ups overlapping.
    constexpr std::size_t Group = 5;
    std::uint32_t prevL = Module1::LoadBE32(prev), prevR = Module1::LoadBE32(prev + 4);
    std::size_t k = 0;
    for (; k + Group <= blocks; k += Group) {
        DecryptGroupCBC<Group>(tables_, data + 8 * k, prevL, prevR);
    }
    for (; k < blocks; ++k) {
        DecryptGroupCBC<1>(tables_, data + 8 * k, prevL, prevR);
    }
    Module1::StoreBE32(prev, prevL);
    Module1::StoreBE32(prev + 4, prevR);
}

}  // namespace tavorin

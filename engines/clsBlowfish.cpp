#include "engines/clsBlowfish.h"

#include <atomic>
#include <cstring>
#include <utility>

#include "base/AnsiCodePage.h"
#include "base/CpuFeatures.h"
#include "base/Failure.h"
#include "base/Types.h"
#include "engines/Helpers.h"

namespace tavorin {

template class FramedEngine<clsBlowfish, 8>;

namespace blowfish {

const std::array<std::uint32_t, PiWordCount>& PiWords() noexcept {
    static constexpr std::array<std::uint32_t, PiWordCount> words = {
#include "engines/BlowfishPi.inc"
    };
    return words;
}

void Tables::Expand() noexcept {
    std::uint32_t L = 0, R = 0;
    for (std::size_t i = 0; i < PArray.size(); i += 2) {
        Encrypt(L, R);
        PArray[i] = L;
        PArray[i + 1] = R;
    }
    for (auto& box : SBoxes) {
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
    for (std::size_t i = 0; i < t.PArray.size(); ++i) {
        t.PArray[i] = W[i];
    }
    for (std::size_t i = 0; i < 256; ++i) {
        for (std::size_t k = 0; k < 4; ++k) {
            t.SBoxes[k][i] = W[18 + 4 * i + k];
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
    SecureWipe(CurrentKey);
}

void clsBlowfish::Key(std::u16string_view New_Value) {
    if (New_Value == CurrentKey) {
        return;
    }
    if (New_Value.empty()) {
        SecureWipe(CurrentKey);
        CurrentKey.clear();
        throw Failure(FailureKind::EmptyKey);
    }
    // Converted before anything changes: a key the code page refuses leaves the engine as it was.
    ByteArray key = AnsiCodePage::NormalizedTextToBytes(New_Value);
    if (key.empty()) {
        throw Failure(FailureKind::EmptyKey);
    }
    SecureWipe(CurrentKey);
    CurrentKey.assign(New_Value);

    // Starting again from the initial tables overwrites the previous key's schedule.
    tables_ = InitialTables();
    const std::size_t n = key.size();
    std::size_t j = 0;
    for (std::size_t i = 0; i < tables_.PArray.size(); ++i) {
        std::uint32_t w = 0;
        for (int b = 0; b < 4; ++b) {
            // Shifted left with the low byte kept, then ORed: every key byte also lands in
            // the positions below it.
            w = (w << 8) | (w & 0xFFu) | key[j];
            j = (j + 1 == n) ? 0 : j + 1;
        }
        tables_.PArray[i] ^= w;
    }
    static_assert(sizeof(blowfish::Tables::PArray) == KeyBytesUsed, "18 key words of 4 bytes");
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
        r[b] = l[b] ^ t.PArray[17];
        l[b] = x;
    });
#pragma GCC unroll 8
    for (std::size_t i = 16; i != 0; i -= 2) {
        ForEachLane<N>([&](std::size_t b) { l[b] = (l[b] ^ t.PArray[i]) ^ t.F(r[b]); });
        ForEachLane<N>([&](std::size_t b) { r[b] = (r[b] ^ t.PArray[i - 1]) ^ t.F(l[b]); });
    }
    ForEachLane<N>([&](std::size_t b) { l[b] ^= t.PArray[0]; });
}

bool CpuHasBextr() noexcept { return cpu::Bmi1(); }

std::atomic<bool> g_bextr{CpuHasBextr()};

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
        EncryptCBCWords(data, blocks, prev,
                        [this](std::uint32_t& L, std::uint32_t& R) { tables_.Encrypt<true>(L, R); });
    } else {
        EncryptCBCWords(data, blocks, prev,
                        [this](std::uint32_t& L, std::uint32_t& R) { tables_.Encrypt<false>(L, R); });
    }
}

void clsBlowfish::DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) const noexcept {
    // Five blocks at a time: as many as the registers hold with the look-ups overlapping.
    DecryptCBCInterleaved<5>(data, blocks, prev, [this]<std::size_t M>(std::uint32_t(&L)[M], std::uint32_t(&R)[M]) {
        DecryptLanes<M>(tables_, L, R);
    });
}

}  // namespace tavorin

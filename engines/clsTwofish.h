#pragma once
// Twofish (128-bit block, 16 rounds) with full keying: the key-dependent S-boxes are
// computed once per key into KeyedSBox, so g is four table lookups. Key texts become
// 8-, 16-, 24- or 32-byte keys by their length; 16, 24 and 32 bytes are the published
// cipher, 8 bytes use the one-stage h chain.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engines/FramedEngine.h"

namespace tavorin {

class clsTwofish final : public FramedEngine<clsTwofish, 16> {
public:
    clsTwofish() noexcept = default;
    ~clsTwofish() override;

    std::u16string_view Name() const noexcept override { return u"Twofish"; }
    // The key characters (one byte each in the code page) the schedule reads: the longest Twofish key is 256 bits; a shorter one is padded with zeros.
    // Characters past them change nothing.
    static constexpr std::size_t KeyCharacters = 32;

    // Every write schedules, also for the same text. MinKeyLength (bits) raises the size
    // class of a shorter key, which is then zero-extended.
    void Key(std::u16string_view New_Value) override { Key(New_Value, 0); }
    void Key(std::u16string_view New_Value, std::int32_t MinKeyLength);

    // An instance that has never had a key refuses to work (error 9) before it frames
    // anything.
    void EnsureKeyed() const;

    void EncryptBlock(std::uint8_t* block) noexcept;
    void DecryptBlock(std::uint8_t* block) noexcept;
    // CBC over whole blocks in place; prev is the chaining block, updated.
    void EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;
    void DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;

    // Test-only: lets the tests look at the key-dependent tables (tests/secrets).
    friend struct KeyMaterialView;

private:
    // key: 8, 16, 24 or 32 bytes.
    void ScheduleKey(const std::uint8_t* key, std::size_t n) noexcept;

    bool keyed_ = false;
    std::array<std::uint32_t, 40> ExpandedKey{};
    // T0..T3 of g, 256 words each: g(X) = T0[x0] ^ T1[x1] ^ T2[x2] ^ T3[x3].
    alignas(64) std::array<std::array<std::uint32_t, 256>, 4> KeyedSBox{};
};

extern template class FramedEngine<clsTwofish, 16>;

}  // namespace tavorin

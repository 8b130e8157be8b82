#pragma once
// Skipjack (64-bit block, 32 rounds) with a key of any length: key byte i of the 128 round
// key bytes is byte (i mod n) of the n-byte key, so a ten-byte key is the published cipher.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engines/FramedEngine.h"

namespace tavorin {

class clsSkipjack final : public FramedEngine<clsSkipjack, 8> {
public:
    static constexpr std::size_t RoundKeyBytes = 128;

    clsSkipjack() noexcept;
    ~clsSkipjack() override;

    std::u16string_view Name() const noexcept override { return u"Skipjack"; }
    // The key characters (one byte each in the code page) the schedule reads: 4 key bytes for each of the 32 rounds; a shorter key repeats.
    // Characters past them change nothing.
    static constexpr std::size_t KeyCharacters = 128;

    // Schedules only when the text differs from the current key. An empty text over a
    // current key is refused and changes nothing.
    void Key(std::u16string_view New_Value) override;

    void EncryptBlock(std::uint8_t* block) noexcept;
    void DecryptBlock(std::uint8_t* block) noexcept;
    // CBC over whole blocks in place; prev is the chaining block, updated.
    void EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;
    void DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;

    // Test-only: lets the tests look at the key-dependent tables (tests/secrets).
    friend struct KeyMaterialView;

private:
    void Schedule(const std::uint8_t* key, std::size_t n) noexcept;
    void Wipe() noexcept;

    KeyText CurrentKey;
    std::array<std::uint8_t, RoundKeyBytes> KeyBytes{};
    // Round key byte i selects the table F[x ^ KeyBytes[i]]; equal key bytes share a table,
    // so a short key keeps its tables few and hot in the cache.
    std::array<const std::uint8_t*, RoundKeyBytes> keyedF_{};
    alignas(64) std::array<std::uint8_t, RoundKeyBytes * 256> tables_{};
};

extern template class FramedEngine<clsSkipjack, 8>;

}  // namespace tavorin

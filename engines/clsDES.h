#pragma once
// Single DES (FIPS 46-3) behind the frame. The key text's first 8 bytes, zero-padded, are the
// DES key; parity bits are ignored and weak keys are used as they are. A new instance, and the
// empty key, encrypt with the all-zero key.

#include <array>
#include <cstdint>
#include <string>

#include "engines/FramedEngine.h"

namespace tavorin {

class clsDES final : public FramedEngine<clsDES, 8> {
public:
    clsDES() noexcept;
    ~clsDES() override;

    std::u16string_view Name() const noexcept override { return u"DES"; }
    // The key characters (one byte each in the code page) the schedule reads: the 64 key bits are the first 8 bytes; a shorter key is padded with zeros.
    // Characters past them change nothing.
    static constexpr std::size_t KeyCharacters = 8;

    // Schedules the key unless it is the one last scheduled. Text the code page cannot hold
    // is refused and changes nothing.
    void Key(std::u16string_view New_Value) override;

    void EncryptBlock(std::uint8_t* block) noexcept;
    void DecryptBlock(std::uint8_t* block) noexcept;
    // CBC over whole blocks in place; prev holds the chaining block and is updated.
    // Decryption runs several blocks side by side.
    void EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;
    void DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;

    // Test-only: lets the tests look at the key-dependent tables (tests/secrets).
    friend struct KeyMaterialView;

private:
    KeyText CurrentKey;
    // Two words per round in the form the rounds use (see clsDES.cpp).
    std::array<std::uint32_t, 32> SubKeys{};
};

extern template class FramedEngine<clsDES, 8>;

}  // namespace tavorin

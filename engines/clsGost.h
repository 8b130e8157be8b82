#pragma once
// The GOST 28147-89 round structure with this engine's own substitution rows and byte
// handling, so its output matches no standard GOST implementation: the bytes of each round
// sum are split by truncating signed division and substituted in reverse order, the subkeys
// are little-endian words of the cyclic 32-byte key, and the halves are not exchanged after
// the last round.

#include <array>
#include <cstdint>
#include <string>

#include "engines/FramedEngine.h"

namespace tavorin {

class clsGost final : public FramedEngine<clsGost, 8> {
public:
    clsGost() noexcept;
    ~clsGost() override;

    std::u16string_view Name() const noexcept override { return u"Gost"; }
    // The key characters (one byte each in the code page) the schedule reads: eight key words of 4 bytes; a shorter key repeats.
    // Characters past them change nothing.
    static constexpr std::size_t KeyCharacters = 32;

    // Schedules the key unless it is the one last scheduled. The empty key over a current one
    // fails with error 11 (the cyclic key has no length); a refused key changes nothing.
    void Key(std::u16string_view New_Value) override;

    void EncryptBlock(std::uint8_t* block) noexcept;
    void DecryptBlock(std::uint8_t* block) noexcept;
    // CBC over whole blocks in place; prev holds the chaining block and is updated.
    // Decryption runs several blocks side by side.
    void EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;
    void DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) noexcept;

    // f(x, k) of one round; not secret, public for tests.
    static std::uint32_t RoundFunction(std::uint32_t x, std::uint32_t k) noexcept;

    // Test-only: lets the tests look at the key-dependent tables (tests/secrets).
    friend struct KeyMaterialView;

private:
    KeyText CurrentKey;
    // The subkeys K0..K7 in the order of the 32 encryption rounds, then of the 32 decryption
    // rounds.
    std::array<std::uint32_t, 64> SubKey{};
};

extern template class FramedEngine<clsGost, 8>;

}  // namespace tavorin

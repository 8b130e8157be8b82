#pragma once
// Blowfish with this program's own arrangement of the initial S-boxes (consecutive pi words
// go to the four boxes in turn) and its own key words (each key byte ORed into the ones
// before it). The rounds and the table expansion are those of the published cipher, so
// the output matches no standard Blowfish.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engines/FramedEngine.h"
#include "engines/Module1.h"

namespace tavorin {

namespace blowfish {

inline constexpr std::size_t PiWordCount = 1042;

// W0..W1041: the fractional part of pi in hexadecimal, 32 bits at a time.
const std::array<std::uint32_t, PiWordCount>& PiWords() noexcept;

// The P-array and the four S-boxes, with the rounds that use them.
struct Tables {
    std::array<std::uint32_t, 18> PArray;
    std::array<std::array<std::uint32_t, 256>, 4> SBoxes;

    // Bits 16 to 23, the second S-box's index: one BEXTR instead of a shift and a zero
    // extension, a cycle off the chain from one round to the next. Only where the CPU has it.
    template <bool Bextr>
    static std::uint64_t SecondIndex(std::uint64_t y) noexcept {
#if defined(__GNUC__) && defined(__x86_64__)
        if constexpr (Bextr) {
            std::uint64_t i;
            asm("bextr %2, %1, %0" : "=r"(i) : "r"(y), "r"(std::uint64_t{0x0810}));
            return i;
        }
#endif
        return (y >> 16) & 0xFF;
    }

    template <bool Bextr = false>
    std::uint32_t F(std::uint32_t x) const noexcept {
        // 64-bit indexes spare the compiler a zero extension per look-up.
        const std::uint64_t y = x;
        return Module1::UnsignedAdd(
            Module1::UnsignedAdd(SBoxes[0][y >> 24], SBoxes[1][SecondIndex<Bextr>(y)]) ^ SBoxes[2][(y >> 8) & 0xFF],
            SBoxes[3][y & 0xFF]);
    }

    // The half and its P word, combined before F's result arrives. The compiler would
    // otherwise reassociate the two XORs and put both on the chain from one F to the next.
    static std::uint32_t Ahead(std::uint32_t half, std::uint32_t p) noexcept {
        std::uint32_t t = half ^ p;
#if defined(__GNUC__)
        asm("" : "+r"(t));
#endif
        return t;
    }

    // The published rounds without the swaps.
    template <bool Bextr = false>
    void Encrypt(std::uint32_t& L, std::uint32_t& R) const noexcept {
        std::uint32_t l = L ^ PArray[0], r = R;
#pragma GCC unroll 8
        for (std::size_t i = 1; i < 17; i += 2) {
            r = Ahead(r, PArray[i]) ^ F<Bextr>(l);
            l = Ahead(l, PArray[i + 1]) ^ F<Bextr>(r);
        }
        L = r ^ PArray[17];
        R = l;
    }

    void Decrypt(std::uint32_t& L, std::uint32_t& R) const noexcept {
        std::uint32_t l = R, r = L ^ PArray[17];
#pragma GCC unroll 8
        for (std::size_t i = 16; i != 0; i -= 2) {
            l = Ahead(l, PArray[i]) ^ F(r);
            r = Ahead(r, PArray[i - 1]) ^ F(l);
        }
        L = l ^ PArray[0];
        R = r;
    }

    // Replaces P, then S0 to S3, pair by pair with the encryptions of a running block that
    // starts at zero; each encryption sees the tables as changed so far.
    void Expand() noexcept;
};

}  // namespace blowfish

class clsBlowfish final : public FramedEngine<clsBlowfish, 8> {
public:
    clsBlowfish();
    ~clsBlowfish() override;

    std::u16string_view Name() const noexcept override { return u"Blowfish"; }
    // The key characters (one byte each in the code page) the schedule reads: the schedule takes 72 key bytes in turn (18 words of 4), repeating a shorter key.
    // Characters past them change nothing.
    static constexpr std::size_t KeyCharacters = 72;

    // Schedules when the text differs from the current key. The empty key over a current
    // one fails with error 9, leaving the current key empty and the tables as they were.
    void Key(std::u16string_view New_Value) override;

    void EncryptBlock(std::uint8_t* block) const noexcept {
        const std::span<std::uint8_t, 8> bytes(block, 8);
        std::uint32_t L, R;
        Module1::GetWord(L, bytes, 0);
        Module1::GetWord(R, bytes, 4);
        tables_.Encrypt(L, R);
        Module1::PutWord(L, bytes, 0);
        Module1::PutWord(R, bytes, 4);
    }
    void DecryptBlock(std::uint8_t* block) const noexcept {
        const std::span<std::uint8_t, 8> bytes(block, 8);
        std::uint32_t L, R;
        Module1::GetWord(L, bytes, 0);
        Module1::GetWord(R, bytes, 4);
        tables_.Decrypt(L, R);
        Module1::PutWord(L, bytes, 0);
        Module1::PutWord(R, bytes, 4);
    }
    // CBC encryption of whole blocks, the chaining kept in registers.
    void EncryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) const noexcept;
    // CBC decryption of whole blocks, several independent blocks round by round, since each
    // block's chaining input is already known. prev: the block before data, and on return
    // the last ciphertext block.
    void DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) const noexcept;

    // Whether CBC encryption takes the BEXTR path; tests switch to check both give the same.
    // SelectBextr(true) is refused (false) where the CPU lacks the instruction.
    static bool UsesBextr() noexcept;
    static bool SelectBextr(bool use) noexcept;

    // The tables of a new instance, shared by every key schedule.
    static const blowfish::Tables& InitialTables() noexcept;
    const blowfish::Tables& Tables() const noexcept { return tables_; }

    // Test-only: lets the tests look at the key-dependent tables (tests/secrets).
    friend struct KeyMaterialView;

private:
    blowfish::Tables tables_;
    KeyText CurrentKey;
};

extern template class FramedEngine<clsBlowfish, 8>;

}  // namespace tavorin

#pragma once
// Blowfish with this program's own arrangement of the initial S-boxes (consecutive pi words
// go to the four boxes in turn) and its own key words (each key byte ORed into the ones
// before it). The rounds and the table expansion are those of the published cipher, so
// the output matches no standard Blowfish.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engines/Frame.h"
#include "engines/Module1.h"

namespace tavorin {

namespace blowfish {

inline constexpr std::size_t PiWordCount = 1042;

// W0..W1041: the fractional part of pi in hexadecimal, 32 bits at a time.
const std::array<std::uint32_t, PiWordCount>& PiWords() noexcept;

// The P-array and the four S-boxes, with the rounds that use them.
struct Tables {
    std::array<std::uint32_t, 18> P;
    std::array<std::array<std::uint32_t, 256>, 4> S;

    std::uint32_t F(std::uint32_t x) const noexcept {
        return ((S[0][x >> 24] + S[1][(x >> 16) & 0xFF]) ^ S[2][(x >> 8) & 0xFF]) + S[3][x & 0xFF];
    }

    void Encrypt(std::uint32_t& L, std::uint32_t& R) const noexcept {
        std::uint32_t l = L, r = R;
        for (std::size_t i = 0; i < 16; i += 2) {
            l ^= P[i];
            r ^= F(l) ^ P[i + 1];
            l ^= F(r);
        }
        L = r ^ P[17];
        R = l ^ P[16];
    }

    void Decrypt(std::uint32_t& L, std::uint32_t& R) const noexcept {
        std::uint32_t l = R ^ P[16], r = L ^ P[17];
        for (std::size_t i = 16; i != 0; i -= 2) {
            l ^= F(r);
            r ^= F(l) ^ P[i - 1];
            l ^= P[i - 2];
        }
        L = l;
        R = r;
    }

    // Replaces P, then S0 to S3, pair by pair with the encryptions of a running block that
    // starts at zero; each encryption sees the tables as changed so far.
    void Expand() noexcept;
};

} // namespace blowfish

class clsBlowfish final : public FramedEngine<clsBlowfish, 8> {
public:
    clsBlowfish();
    ~clsBlowfish() override;

    std::u16string_view Name() const noexcept override { return u"Blowfish"; }

    // Schedules when the text differs from the current key. The empty key over a current
    // one fails with error 9, leaving the current key empty and the tables as they were.
    void Key(std::u16string_view New_Value) override;

    void EncryptBlock(std::uint8_t* block) const noexcept {
        std::uint32_t L = Module1::LoadBE32(block), R = Module1::LoadBE32(block + 4);
        tables_.Encrypt(L, R);
        Module1::StoreBE32(block, L);
        Module1::StoreBE32(block + 4, R);
    }
    void DecryptBlock(std::uint8_t* block) const noexcept {
        std::uint32_t L = Module1::LoadBE32(block), R = Module1::LoadBE32(block + 4);
        tables_.Decrypt(L, R);
        Module1::StoreBE32(block, L);
        Module1::StoreBE32(block + 4, R);
    }
    // CBC decryption of whole blocks, several independent blocks round by round, since each
    // block's chaining input is already known. prev: the block before data, and on return
    // the last ciphertext block.
    void DecryptBlocksCBC(std::uint8_t* data, std::size_t blocks, std::uint8_t* prev) const noexcept;

    // The tables of a new instance, shared by every key schedule.
    static const blowfish::Tables& InitialTables() noexcept;
    const blowfish::Tables& Tables() const noexcept { return tables_; }

private:
    blowfish::Tables tables_;
    std::u16string CurrentKey_;
};

} // namespace tavorin

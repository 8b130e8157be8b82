#pragma once
// SHA-256 of a text, over the low 8 bits of each character, as 64 lower-case hex digits.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavorin {

class CSHA256 {
public:
    CSHA256() = default;

    // The digest of the low bytes of sMessage's characters (U+0141 counts as 0x41).
    std::u16string SHA256(std::u16string_view sMessage) const;

    // The same over raw bytes.
    static std::array<std::uint8_t, 32> Digest(const std::uint8_t* data, std::size_t size);
    // 64 lower-case hexadecimal digits of Digest.
    static std::string DigestHex(const std::uint8_t* data, std::size_t size);
};

} // namespace tavorin

#pragma once
// SHA-256 of a text, over the low 8 bits of each character, as 64 lower-case hex digits.
// The compression runs on the CPU's SHA instructions when it has them (Sha256X86.cpp),
// portable code otherwise; both give the same digests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavorin {

class CSHA256 {
public:
    using DigestBytes = std::array<std::uint8_t, 32>;

    CSHA256() noexcept { Init(); }

    // The digest of the low bytes of sMessage's characters (U+0141 counts as 0x41, U+20AC
    // as 0xAC). Keeps nothing between calls and does not touch the streaming state below.
    std::u16string SHA256(std::u16string_view sMessage) const;

    // The same over raw bytes.
    static DigestBytes Digest(const std::uint8_t* data, std::size_t size) noexcept;
    // 64 lower-case hexadecimal digits of Digest.
    static std::string DigestHex(const std::uint8_t* data, std::size_t size);
    static std::string ToLowerHex(const DigestBytes& digest);

    // Streaming, for data that arrives in pieces: Init, any number of Updates, Final.
    // Final leaves the instance initialised again.
    void Init() noexcept;
    void Update(const std::uint8_t* data, std::size_t size) noexcept;
    // The low bytes of the characters, as SHA256 takes them.
    void Update(std::u16string_view text) noexcept;
    DigestBytes Final() noexcept;

    // Which compression runs. Chosen once from the CPU; tests and benchmarks may switch.
    enum class Path { Portable, ShaExtensions };
    static bool ShaExtensionsAvailable() noexcept;
    static Path ActivePath() noexcept;
    // False, and nothing changes, when the CPU cannot run the path.
    static bool SelectPath(Path path) noexcept;

private:
    template <class Unit>
    void Absorb(const Unit* data, std::size_t size) noexcept;

    std::array<std::uint32_t, 8> state_{};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalSize_ = 0;
};

}  // namespace tavorin

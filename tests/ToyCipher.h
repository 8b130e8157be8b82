#pragma once
// A toy block cipher over the real frame, so that framing faults show apart from cipher
// faults, and file and fault tests run fast.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engines/FramedEngine.h"

namespace tavorin::test {

// Adds a key byte to every byte: trivially invertible, and every block differs under CBC.
template <std::size_t B>
class ToyCipher final : public FramedEngine<ToyCipher<B>, B> {
public:
    std::u16string_view Name() const noexcept override { return u"Toy"; }
    void Key(std::u16string_view v) override { k_ = v.empty() ? 0 : static_cast<std::uint8_t>(v[0]); }
    void EncryptBlock(std::uint8_t* b) noexcept {
        for (std::size_t i = 0; i < B; ++i)
            b[i] = static_cast<std::uint8_t>(b[i] + k_ + i);
    }
    void DecryptBlock(std::uint8_t* b) noexcept {
        for (std::size_t i = 0; i < B; ++i)
            b[i] = static_cast<std::uint8_t>(b[i] - k_ - i);
    }

private:
    std::uint8_t k_ = 0;
};

}  // namespace tavorin::test

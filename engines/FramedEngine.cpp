#include "engines/FramedEngine.h"

#include "base/AnsiCodePage.h"

namespace tavorin {

namespace frame {

namespace {

// The nearest integer, ties to even, of 0 <= x < 2^52: past 2^52 a double has no fraction
// bits, so the addition rounds x in the default mode, as nearbyint does. (The one call into
// the maths library would otherwise make every start load it.)
double NearestEven(double x) {
    constexpr double kNoFraction = 4503599627370496.0;  // 2^52
    return (x + kNoFraction) - kNoFraction;
}

}  // namespace

void ProgressRule::After(std::uint64_t o) {
    if (sink_ == nullptr || o < next_) {
        return;
    }
    const double share = static_cast<double>(o) / static_cast<double>(length_);
    last_ = static_cast<std::int32_t>(share * 100.0);
    // Rounded to the nearest integer, ties to even (the default rounding mode).
    next_ = static_cast<std::uint64_t>(
        NearestEven((static_cast<double>(last_) + 1.0) / 100.0 * static_cast<double>(length_) + 1.0));
    (*sink_)(last_);
}

void ProgressRule::Reach(std::uint64_t done, std::size_t B) {
    // The one-thread path raises each event after the first block whose offset reaches Next().
    while (sink_ != nullptr) {
        const std::uint64_t block = (next_ + B - 1) / B * B;
        if (block >= length_ || block + B > done) {
            return;
        }
        After(block);
    }
}

void ProgressRule::Finish() {
    if (sink_ != nullptr && last_ != 100) {
        last_ = 100;
        (*sink_)(100);
    }
}

}  // namespace frame

std::u16string Engine::EncryptString(std::u16string_view Text, std::u16string_view key) {
    ByteArray bytes = AnsiCodePage::TextToBytes(Text);
    EncryptByte(bytes, key);
    std::u16string result = AnsiCodePage::BytesToText(bytes);
    SecureWipe(bytes);
    return result;
}

std::size_t Engine::EncryptInPlace(std::uint8_t* data, std::size_t length, std::size_t room, std::u16string_view key) {
    // Through a copy, for an engine that only works on arrays.
    ByteArray bytes(data, data + length);
    try {
        EncryptByte(bytes, key);
        if (bytes.size() > room) {
            throw Failure(FailureKind::TooLarge);
        }
    } catch (...) {
        SecureWipe(bytes);
        throw;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    return bytes.size();
}

void Engine::DecryptChained(std::uint8_t* data, std::size_t n, std::uint8_t* prev) {
    // A block at a time, for an engine without a chain of its own.
    const std::size_t B = BlockSize();
    ByteArray cipher(B);
    for (std::size_t at = 0; at + B <= n; at += B) {
        std::memcpy(cipher.data(), data + at, B);
        RawDecryptBlock(data + at);
        frame::XorBlock(data + at, prev, B);
        std::memcpy(prev, cipher.data(), B);
    }
}

std::u16string Engine::DecryptString(std::u16string_view Text, std::u16string_view key) {
    ByteArray bytes = AnsiCodePage::TextToBytes(Text);
    DecryptByte(bytes, key);
    std::u16string result = AnsiCodePage::BytesToText(bytes);
    SecureWipe(bytes);
    return result;
}

}  // namespace tavorin

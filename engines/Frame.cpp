#include "engines/Frame.h"

#include <sys/random.h>

#include <cerrno>
#include <random>

#include "base/AnsiCodePage.h"

namespace tavorin {

namespace frame {

std::uint32_t RandomWord() {
    std::uint32_t word = 0;
    ssize_t got = 0;
    do {
        got = ::getrandom(&word, sizeof word, 0);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof word)) {
        std::random_device device;
        word = device();
    }
    return word & 0x7FFFFFFFu;
}

void WriteHeader(std::uint8_t* header, std::uint32_t L) {
    Module1::StoreLE32(header, RandomWord());
    Module1::StoreLE32(header + 4, RandomWord());
    Module1::StoreLE32(header + 8, L);
}

bool StoredLengthFits(std::uint64_t T, std::int32_t L, std::size_t B) {
    const auto t = static_cast<std::int64_t>(T);
    const std::int64_t d = t - L;
    if (d > std::numeric_limits<std::int32_t>::max() || d < std::numeric_limits<std::int32_t>::min()) {
        throw Failure::OverflowError();
    }
    return L >= 0 && d >= static_cast<std::int64_t>(HeaderSize) && d <= static_cast<std::int64_t>(HeaderSize + B - 1);
}

void ProgressRule::After(std::uint64_t o) {
    if (sink_ == nullptr || o < next_) {
        return;
    }
    const double share = static_cast<double>(o) / static_cast<double>(length_);
    last_ = static_cast<std::int32_t>(share * 100.0);
    // Rounded to the nearest integer, ties to even (the default rounding mode).
    next_ = static_cast<std::uint64_t>(
        std::nearbyint((static_cast<double>(last_) + 1.0) / 100.0 * static_cast<double>(length_) + 1.0));
    (*sink_)(last_);
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

std::u16string Engine::DecryptString(std::u16string_view Text, std::u16string_view key) {
    ByteArray bytes = AnsiCodePage::TextToBytes(Text);
    DecryptByte(bytes, key);
    std::u16string result = AnsiCodePage::BytesToText(bytes);
    SecureWipe(bytes);
    return result;
}

}  // namespace tavorin

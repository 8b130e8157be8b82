#include "engines/FrameFormat.h"

#include <limits>
#include <random>

#include "base/Failure.h"
#include "base/Random.h"
#include "engines/Module1.h"

namespace tavorin::frame {

std::uint32_t RandomWord() {
    std::uint32_t word = 0;
    if (!SystemRandom(&word, sizeof word)) {
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
        throw Failure(FailureKind::StoredLengthOverflow);
    }
    return L >= 0 && d >= static_cast<std::int64_t>(HeaderSize) && d <= static_cast<std::int64_t>(HeaderSize + B - 1);
}

void CheckCipherLength(std::uint64_t T, std::size_t B) {
    if (T % B != 0 || T < HeaderSize) {
        throw Failure(FailureKind::PartialBlock);
    }
    if (T > MaxFrame) {
        throw Failure(FailureKind::TooLarge);
    }
}

}  // namespace tavorin::frame

#include "codecs/HexOnEveryCore.h"

#include <algorithm>
#include <atomic>

#include "base/Team.h"

namespace tavorin::modHEX {

namespace {

// Pieces of this many pairs.
constexpr std::size_t kPiecePairs = std::size_t{1} << 18;

}  // namespace

template <class Char>
bool DecodeOnEveryCore(const Char* text, std::size_t count, std::uint8_t* out,
                       bool (*decode)(const Char*, std::size_t, std::uint8_t*) noexcept) {
    const std::size_t pieces = (count + kPiecePairs - 1) / kPiecePairs;
    if (pieces < 2 || CoreCount() < 2)
        return decode(text, count, out);
    std::atomic<bool> bad{false};
    Team(std::min(CoreCount(), pieces)).Run(pieces, [&](std::size_t k) {
        const std::size_t from = k * kPiecePairs;
        if (!decode(text + 3 * from, std::min(kPiecePairs, count - from), out + from))
            bad.store(true, std::memory_order_relaxed);
    });
    return !bad.load();
}

template bool DecodeOnEveryCore(const char*, std::size_t, std::uint8_t*,
                                bool (*)(const char*, std::size_t, std::uint8_t*) noexcept);
template bool DecodeOnEveryCore(const char16_t*, std::size_t, std::uint8_t*,
                                bool (*)(const char16_t*, std::size_t, std::uint8_t*) noexcept);

}  // namespace tavorin::modHEX

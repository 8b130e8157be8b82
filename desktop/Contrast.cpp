#include "desktop/Contrast.h"

#include <algorithm>
#include <cmath>

namespace tavorin {

namespace {

double Luminance(Rgb c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.red) + 0.7152 * channel(c.green) + 0.0722 * channel(c.blue);
}

}  // namespace

double Contrast(Rgb a, Rgb b) noexcept {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool ReadableOnBackdrop(Rgb colour, double ratio) noexcept {
    return Contrast(colour, BackdropDark) >= ratio && Contrast(colour, BackdropLight) >= ratio;
}

std::optional<std::size_t> RestColour(std::span<const Rgb> candidates) noexcept {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (ReadableOnBackdrop(candidates[i], 4.5)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> HoverColour(Rgb rest, std::span<const Rgb> candidates) noexcept {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i] != rest && ReadableOnBackdrop(candidates[i], 3.0)) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace tavorin

#pragma once
// Which text colours stay readable on the main window's background picture, by the
// contrast ratio of relative luminances (1 to 21). Free of any toolkit: a form passes the
// colours its theme offers, in the order it prefers them, and gets back the one to use.

#include <cstddef>
#include <optional>
#include <span>

namespace tavorin {

// A colour by its red, green and blue parts, each from 0 to 1.
struct Rgb {
    double red = 0;
    double green = 0;
    double blue = 0;

    static constexpr Rgb FromBytes(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// The darkest and the lightest colour of the background behind the label-buttons.
inline constexpr Rgb BackdropDark = Rgb::FromBytes(0x12, 0x1d, 0x33);
inline constexpr Rgb BackdropLight = Rgb::FromBytes(0x2a, 0x40, 0x66);

double Contrast(Rgb a, Rgb b) noexcept;

// Readable at this ratio on every part of the background behind the label-buttons.
bool ReadableOnBackdrop(Rgb colour, double ratio) noexcept;

// The label-buttons at rest: the first candidate readable as body text (4.5); without one,
// RestFallback. The theme offers its highlighted-text colour first.
std::optional<std::size_t> RestColour(std::span<const Rgb> candidates) noexcept;
inline constexpr Rgb RestFallback = Rgb::FromBytes(0xff, 0xff, 0xff);

// Under the pointer: the first candidate unlike the rest colour and readable as large text
// (3); without one, HoverFallback. The theme offers its application-workspace colour first.
std::optional<std::size_t> HoverColour(Rgb rest, std::span<const Rgb> candidates) noexcept;
inline constexpr Rgb HoverFallback = Rgb::FromBytes(0xab, 0xab, 0xab);

}  // namespace tavorin

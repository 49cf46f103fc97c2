// Editor colours.
//
//   Colour    red, green, blue and alpha bytes, compared on all four channels
//   Palette   the 256 colours the palette bar can offer
//   toPixel   a colour as the scaler's 0xAARRGGBB word, always opaque
//   toColour  a scaler word as a colour, always opaque
//
// The byte order and the equality are those of the window library's colour type, so the
// shell converts field by field and the palette search compares exactly what the user sees.
#pragma once

#include <array>
#include <cstdint>
#include <tessera/scaler.h>

struct Colour {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 255;

    friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

inline constexpr Colour opaqueBlack{0, 0, 0, 255};
inline constexpr Colour transparentBlack{0, 0, 0, 0};
inline constexpr Colour opaqueBlue{0, 0, 255, 255};

// Entries past the palette's count are opaque black and never used.
using Palette = std::array<Colour, 256>;

// The colour's own alpha is not used: every canvas cell is opaque.
constexpr Pixel toPixel(Colour c) {
    return Pixel{0xFF000000u} | Pixel{c.r} << 16 | Pixel{c.g} << 8 | Pixel{c.b};
}

// The word's top byte is not used: the scaler leaves 0 there in blended cells, and
// everything the editor shows or saves is opaque.
constexpr Colour toColour(Pixel p) {
    return Colour{static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                  static_cast<std::uint8_t>(p), 255};
}

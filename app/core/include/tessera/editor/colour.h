// Editor colours.
//
//   Colour    red, green, blue and alpha bytes, compared on all four channels
//   Palette   the 256 colours the palette bar can offer
//   toPixel   a colour as the scaler's 0xAARRGGBB word, always opaque
//
// The byte order and the equality are those of the window library's colour type, so the
// shell converts field by field and the palette search compares exactly what the user sees.
// Colours become words, and words the preview's bytes, through the scaler's own opaque
// conversions, so that the editor's image.png rests on the same conversion as every other image
// made from the scaler's words.
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
    return opaquePixel(c.r, c.g, c.b);
}

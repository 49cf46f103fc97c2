// Pixels between decoded RGBA bytes and the scaler's words, and the choice of enlargement that
// goes with them, free of any I/O and any image library: the rules tessera-scale and the Python
// module share.
//
// Decoded images arrive as 8-bit RGBA bytes, row-major. An image the command enlarges opaque
// reaches the scaler as words 0xFFRRGGBB, exactly as the editor's canvas holds them, and its
// enlargement goes back out with alpha 255, as the editor saves it. An image with transparency
// keeps its alpha through the alpha-aware enlargement into the file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tessera/scaler.h>

namespace tessera::pixels {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Reads "#RRGGBB" or "RRGGBB" (the '#' starts a comment in most shells unless quoted).
std::optional<Rgb> parseColour(std::string_view text);

// "#RRGGBB" in upper-case hexadecimal digits.
std::string formatColour(Rgb colour);

// Composites one channel of colour over the background with integer arithmetic, rounding to
// nearest (halves up): (colour * alpha + background * (255 - alpha) + 127) / 255. Alpha 255
// keeps the colour and alpha 0 gives the background exactly.
constexpr std::uint8_t compositeChannel(std::uint8_t colour, std::uint8_t alpha, std::uint8_t background) {
    return static_cast<std::uint8_t>((colour * alpha + background * (255 - alpha) + 127) / 255);
}

// Fills `words` (rgba.size() / 4 of them) with the opaque canvas words of the RGBA bytes,
// compositing pixels whose alpha is below 255 over the background. Returns whether any
// pixel had alpha below 255.
bool flattenToWords(std::span<const std::uint8_t> rgba, Rgb background, std::span<Pixel> words);

// Whether any pixel of the RGBA bytes has alpha below 255.
bool hasTranslucentPixel(std::span<const std::uint8_t> rgba);

// The one rule for how an image, or the frames of an animation together, are enlarged: opaque
// when flattened onto a background or when every pixel has alpha 255 (as the editor enlarges its
// canvas), else with their alpha.
constexpr ColourMode chooseColourMode(bool translucent, bool flattened) {
    return translucent && !flattened ? ColourMode::WithAlpha : ColourMode::Opaque;
}

struct Conversion {
    ColourMode mode = ColourMode::Opaque;
    bool flattened = false; // some pixel was translucent and was composited over the background
};

// Fills `words` (rgba.size() / 4 of them) with what is enlarged in `mode`: with a background,
// composited over it (flattenToWords); otherwise straight words that keep their alpha for the
// alpha-aware enlargement, or opaque words. Returns whether a translucent pixel was flattened.
bool convertToWordsAs(ColourMode mode, std::span<const std::uint8_t> rgba, std::optional<Rgb> background,
                      std::span<Pixel> words);

// convertToWordsAs in the mode chooseColourMode gives for these bytes alone.
Conversion convertToWords(std::span<const std::uint8_t> rgba, std::optional<Rgb> background,
                          std::span<Pixel> words);

// Writes the RGBA bytes of an enlargement made in `mode` (4 bytes per word) to `rgba`, which may
// be the storage of `words` itself.
void convertToRgba(ColourMode mode, std::span<const Pixel> words, std::uint8_t* rgba);

} // namespace tessera::pixels

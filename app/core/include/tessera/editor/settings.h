// The editor's settings and the reader of settings.cfg.
//
//   EditorSettings  window size, scale factor, zoom and palette, each with its default
//   DefaultPalette  the 16 built-in colours, used whenever a file yields fewer than two
//   readSettings    reads the settings from any text stream (the editor's shell reads the file
//                   settings.cfg and hands its text over)
//
// File format: three integers (window size, scale factor, zoom) separated by white space,
// then one colour per line as red,green,blue. A line starting with '#' is a comment. Nothing
// is ever reported: whatever cannot be read keeps its default. The values are not range-tested
// here; the editor refuses the ones it cannot work with (see editor.h).
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <tessera/editor/colour.h>
#include <tuple>

inline constexpr std::array<Colour, 16> DefaultPalette{{
    {0, 0, 0, 255},
    {255, 255, 255, 255},
    {157, 157, 157, 255},
    {190, 38, 51, 255},
    {224, 111, 139, 255},
    {73, 60, 43, 255},
    {164, 100, 34, 255},
    {235, 137, 49, 255},
    {247, 226, 107, 255},
    {47, 72, 78, 255},
    {68, 137, 26, 255},
    {163, 206, 39, 255},
    {27, 38, 50, 255},
    {0, 87, 132, 255},
    {49, 162, 242, 255},
    {178, 220, 239, 255},
}};

// DefaultPalette in entries 0 to 15, opaque black in the rest.
constexpr Palette builtInPalette() {
    Palette palette{};
    for (std::size_t i = 0; i < DefaultPalette.size(); ++i)
        palette[i] = DefaultPalette[i];
    return palette;
}

// The defaults stand for values the file does not give; the editor also falls back to them for
// values it refuses.
inline constexpr std::int32_t defaultWindowSize = 800;
inline constexpr std::int32_t defaultScaleFactor = 4;
inline constexpr std::int32_t defaultZoom = 5;
// A palette holds at least two colours (the canvas's and the painting one) and at most all the
// entries of a Palette.
inline constexpr std::int32_t minPaletteCount = 2;
inline constexpr auto maxPaletteCount = static_cast<std::int32_t>(std::tuple_size_v<Palette>);

struct EditorSettings {
    std::int32_t windowSize = defaultWindowSize;   // window width and height in pixels
    std::int32_t scaleFactor = defaultScaleFactor; // factor of the enlargement
    std::int32_t zoom = defaultZoom;               // on-screen magnification of the enlargement
    Palette palette = builtInPalette();
    // Valid entries; minPaletteCount to maxPaletteCount after reading.
    std::int32_t paletteCount = static_cast<std::int32_t>(DefaultPalette.size());
};

// Reads the header and then palette lines until the stream ends or 256 colours are held;
// reads nothing past the line that holds the 256th colour.
//
// Header: each value is white space, an optional sign and decimal digits. A value that is
// missing, begins no number or lies outside the 32-bit range keeps its default, and so do the
// values after it; no palette line is read then.
//
// Palette lines: the first is the rest of the header's last line. A line feed ends a line, and
// a carriage return just before it belongs to the line ending. A line whose first character is
// '#' is skipped. Any other line is split at every ',' (a ',' at the very end opens no field)
// and every field is converted: white space, an optional sign, at least one digit, then anything.
// A line with three or more fields, all converted, adds the colour (field 1, field 2, field 3),
// each modulo 256, alpha 255. A line with fewer fields, or with a field that does not convert
// (no digit, or outside the 32-bit range), adds nothing and does not count towards the 256.
//
// Fewer than two colours read: the built-in palette, count 16.
EditorSettings readSettings(std::istream& in);

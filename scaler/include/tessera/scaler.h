// Tessera scaler: edge-directed pixel-art enlargement by 2, 3, 4 or 5.
//
//   Pixel          one 32-bit word 0xAARRGGBB (blue in bits 0-7, alpha in bits 24-31)
//   ScaleSettings  the four tuning values; the defaults are what the editor uses
//   upscale        enlarges a whole image (or its first rowEnd rows) by a factor
//   upscaleBand    enlarges the source rows [rowBegin, rowEnd) only, so that bands
//                  of one image can be enlarged on different threads
//   upscaleWithAlpha, upscaleBandWithAlpha
//                  the same enlargements for sprites with transparency: alpha takes
//                  part in every comparison and blend, and no colour of a fully
//                  transparent pixel reaches the output
//   upscaleWithOptions
//                  any of these, chosen in a ScaleOptions record, and also with
//                  wrap-around edges for tiles that repeat, and cell by cell for sprite
//                  sheets and tile sets
//   opaquePixel, opaqueRgba, rgbaToOpaquePixels, pixelsToOpaqueRgba, rgbaToPixels,
//   pixelsToRgba   conversions between words and the RGBA bytes of image files
//
// Memory contract. Images are row-major arrays of Pixel without gaps between rows:
// pixel (x, y) of an image of width w is element y * w + x. The caller owns both
// buffers. The target of a factor-S enlargement has rows of sourceWidth * S pixels;
// source row y becomes target rows y * S to y * S + S - 1. The target must not
// overlap the source.
//
// upscale and upscaleBand treat images as opaque. Colours are compared as whole words
// (alpha included) and measured on red, green and blue only. A target pixel that is a
// plain copy of its source pixel (or that a pattern sets outright) carries that
// pixel's word; a pixel blended along an edge carries alpha 0. Callers that show the
// result treat it as opaque.
//
// Nothing is allocated and no state is kept between calls. A factor outside 2..5,
// sourceWidth <= 0 or no source row to enlarge writes nothing at all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

using Pixel = std::uint32_t;

// The factors there is a scaler for: 2, 3, 4 and 5.
constexpr std::int32_t minScaleFactor = 2;
constexpr std::int32_t maxScaleFactor = 5;

struct ScaleSettings {
    double lumaWeight = 1.0;           // multiplier of the luma difference in every colour distance
    double sameColourTolerance = 30.0; // distances strictly below this count as the same colour
    double dominantRatio = 3.6;        // how much one diagonal must dominate for a strong corner
    double steepRatio = 2.2;           // how much one edge distance must dominate for a sloped line
};

// Enlarges source rows 0 .. min(rowEnd, sourceHeight) - 1 by `factor` into `target`.
// The target must hold min(rowEnd, sourceHeight) * factor * sourceWidth * factor pixels;
// target rows past that are never touched. Rows at and below rowEnd are still read as
// neighbours, so a partial call gives exactly the rows a whole-image call would.
// Pass INT32_MAX as rowEnd to enlarge the whole image.
void upscale(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
             std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd);

// Enlarges source rows max(rowBegin, 0) .. min(rowEnd, sourceHeight) - 1 into the target
// of the whole image (same base pointer and layout as upscale). Only target rows
// rowBegin * factor .. min(rowEnd, sourceHeight) * factor - 1 are written, and they come
// out exactly as one upscale call over the whole image gives them. Calls on disjoint
// bands of one target may run concurrently.
void upscaleBand(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                 std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                 std::int32_t rowEnd);

// Alpha-aware enlargement of straight (not premultiplied) 0xAARRGGBB words, with the same
// parameters, rows, factors and no-op cases as upscale and upscaleBand, and the same
// guarantee that bands of one image give exactly the words of one whole-image call.
//
// Three things differ from the opaque entries. All words with alpha 0 count as one and the
// same pixel, whatever their colour bits. The distance between two pixels is the colour
// distance when both are opaque, and otherwise the colour distance scaled by the smaller
// alpha over 255 plus the difference of the alphas, so a transparent pixel is 255 away from
// an opaque one. Blends are premultiplied: each channel of a blended cell is the alpha-weighted
// mean of the two colours, truncated, and its alpha the mean of the two alphas, truncated;
// every cell whose alpha comes out 0 (a blend whose alpha truncates to 0, or a copied or set
// word with alpha 0) is stored as 0x00000000. An image whose pixels are all opaque comes out
// with the colours of upscale and alpha 255 throughout.
void upscaleWithAlpha(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                      std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd);

void upscaleBandWithAlpha(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                          std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                          std::int32_t rowEnd);

// How the alpha byte takes part.
enum class ColourMode : std::int32_t {
    Opaque,    // as upscale and upscaleBand
    WithAlpha, // as upscaleWithAlpha and upscaleBandWithAlpha
};

// What the neighbours of a pixel at a border of the image (or of its cell) read.
enum class EdgeMode : std::int32_t {
    Clamp, // the nearest pixel inside, as every other entry does
    Wrap,  // the pixel as far inside from the opposite border: the image is one tile of an endless plane
};

struct ScaleOptions {
    ColourMode colours = ColourMode::Opaque;
    EdgeMode edges = EdgeMode::Clamp;
    // The cells of a sheet, counted from its top-left pixel: each cell is enlarged as an image
    // of its own, its neighbours read at its own borders by the edge mode. Cells at the right
    // and bottom are smaller where the size is not a multiple. 0 (or less) is one cell as
    // wide or as high as the image.
    std::int32_t cellWidth = 0;
    std::int32_t cellHeight = 0;
    // The source rows [rowBegin, rowEnd) to enlarge, as upscaleBand takes them.
    std::int32_t rowBegin = 0;
    std::int32_t rowEnd = INT32_MAX;
    // Whether the target holds the band's own rows alone, target row max(rowBegin, 0) * factor
    // first, rather than the whole image: a caller that encodes an image band by band then needs
    // no memory for the rest of it.
    bool bandTarget = false;
};

// Enlarges source rows max(rowBegin, 0) .. min(rowEnd, sourceHeight) - 1 of the options into
// the target of the whole image, with the parameters, rows, factors and no-op cases of
// upscaleBand, and its guarantee: bands of one image give exactly the words of one
// whole-image call, in every mode (with wrap-around edges, a band's top and bottom rows read
// rows across the other border). A colour or edge mode other than those above also writes
// nothing. With the default options it gives the words of upscale; with colours WithAlpha
// those of upscaleWithAlpha.
//
// With wrap-around edges, the result is the middle of what the image tiled three times by
// three gives with clamped edges. With cells, it is what cutting the sheet into its cells,
// enlarging each alone and putting the enlargements back in place gives.
void upscaleWithOptions(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                        std::int32_t sourceHeight, const ScaleSettings& settings,
                        const ScaleOptions& options);

// Words and RGBA bytes. Image files and window libraries hold a pixel as four bytes, red,
// green, blue and alpha in that order in memory; the scaler holds it as one 0xAARRGGBB word.
// The opaque conversions are the ones to use with upscale, whose blended cells carry alpha 0:
// they force alpha to 255 in both directions. The straight ones keep alpha, for the
// alpha-aware entries. Each bulk conversion may write into the storage it reads (rgba and
// pixels the same address), converting in place.

constexpr Pixel opaquePixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return Pixel{0xFF000000u} | Pixel{red} << 16 | Pixel{green} << 8 | Pixel{blue};
}

// Red, green, blue and alpha 255.
constexpr std::array<std::uint8_t, 4> opaqueRgba(Pixel pixel) {
    return {static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 8),
            static_cast<std::uint8_t>(pixel), 255};
}

namespace scaler_detail {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool littleEndian = false;
#else
constexpr bool littleEndian = true;
#endif

// The word an RGBA pixel's four bytes make in memory, as a Pixel, and back: red and blue trade
// places (a rotation where the bytes read the other way round).
constexpr Pixel pixelOfRgbaWord(std::uint32_t word) {
    return littleEndian ? (word & 0xFF00FF00u) | (word >> 16 & 0xFFu) | (word & 0xFFu) << 16
                        : word >> 8 | word << 24;
}
constexpr std::uint32_t rgbaWordOfPixel(Pixel pixel) {
    return littleEndian ? (pixel & 0xFF00FF00u) | (pixel >> 16 & 0xFFu) | (pixel & 0xFFu) << 16
                        : pixel << 8 | pixel >> 24;
}
// Alpha's byte in a Pixel and in an RGBA pixel's word.
constexpr Pixel pixelAlpha = 0xFF000000u;
constexpr std::uint32_t rgbaWordAlpha = littleEndian ? 0xFF000000u : 0xFFu;

// Maps `count` words from `in` to `out` (four bytes each, either possibly the other's storage),
// a block at a time through a buffer of its own: the loop then vectorises even in place, where
// a plain loop over bytes and words may not.
template <class Map>
void mapWords(const void* in, std::size_t count, void* out, Map map) {
    constexpr std::size_t block = 16;
    const auto* from = static_cast<const unsigned char*>(in);
    auto* to = static_cast<unsigned char*>(out);
    std::uint32_t words[block];
    std::size_t done = 0;
    for (; done + block <= count; done += block) {
        std::memcpy(words, from + done * 4, sizeof words);
        for (std::uint32_t& word : words)
            word = map(word);
        std::memcpy(to + done * 4, words, sizeof words);
    }
    if (done == count)
        return;
    const std::size_t rest = count - done;
    std::memcpy(words, from + done * 4, rest * 4);
    for (std::size_t i = 0; i < rest; ++i)
        words[i] = map(words[i]);
    std::memcpy(to + done * 4, words, rest * 4);
}

} // namespace scaler_detail

inline void rgbaToOpaquePixels(const std::uint8_t* rgba, std::size_t count, Pixel* pixels) {
    scaler_detail::mapWords(rgba, count, pixels, [](std::uint32_t word) {
        return scaler_detail::pixelOfRgbaWord(word) | scaler_detail::pixelAlpha;
    });
}

inline void pixelsToOpaqueRgba(const Pixel* pixels, std::size_t count, std::uint8_t* rgba) {
    scaler_detail::mapWords(pixels, count, rgba, [](Pixel pixel) {
        return scaler_detail::rgbaWordOfPixel(pixel) | scaler_detail::rgbaWordAlpha;
    });
}

inline void rgbaToPixels(const std::uint8_t* rgba, std::size_t count, Pixel* pixels) {
    scaler_detail::mapWords(rgba, count, pixels, scaler_detail::pixelOfRgbaWord);
}

inline void pixelsToRgba(const Pixel* pixels, std::size_t count, std::uint8_t* rgba) {
    scaler_detail::mapWords(pixels, count, rgba, scaler_detail::rgbaWordOfPixel);
}

// Tessera scaler: edge-directed pixel-art enlargement by 2, 3, 4 or 5.
//
//   Pixel          one 32-bit word 0xAARRGGBB (blue in bits 0-7, alpha in bits 24-31)
//   ScaleSettings  the four tuning values; the defaults are what the editor uses
//   upscale        enlarges a whole image (or its first rowEnd rows) by a factor
//   upscaleBand    enlarges the source rows [rowBegin, rowEnd) only, so that bands
//                  of one image can be enlarged on different threads
//
// Memory contract. Images are row-major arrays of Pixel without gaps between rows:
// pixel (x, y) of an image of width w is element y * w + x. The caller owns both
// buffers. The target of a factor-S enlargement has rows of sourceWidth * S pixels;
// source row y becomes target rows y * S to y * S + S - 1. The target must not
// overlap the source.
//
// Colours are compared as whole words (alpha included) and measured on red, green
// and blue only. A target pixel that is a plain copy of its source pixel (or that a
// pattern sets outright) carries that pixel's word; a pixel blended along an edge
// carries alpha 0. Callers that show the result treat it as opaque.
//
// Nothing is allocated and no state is kept between calls. A factor outside 2..5,
// sourceWidth <= 0 or no source row to enlarge writes nothing at all.
#pragma once

#include <cstdint>

using Pixel = std::uint32_t;

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

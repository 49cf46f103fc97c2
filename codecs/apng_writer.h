// Writing an enlarged animation as an animated PNG, frame after frame, holding no more than the
// frame before.
//
// The first frame is stored whole and every later one as the smallest rectangle holding the
// pixels that changed from the frame before, replacing the canvas there (blend "source",
// dispose "none"); an unchanged frame is one pixel, so that its delay is kept. Every frame is
// compressed by the PNG encoder (compressImage) in one colour type, and its compressed rows
// become the frame's data.
#pragma once

#include "animation.h"
#include "png_encoder.h"

#include <cstdint>
#include <vector>

namespace tessera::codecs {

// What every frame shares: its size, how many there are and how often they play.
struct AnimationShape {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 0;
    std::uint32_t plays = 0;
};

struct AnimatedPngWriter {
    AnimationShape shape;
    PngColourType colourType = PngColourType::TruecolourAlpha;
    std::vector<std::uint8_t> file;
    std::vector<std::uint8_t> previous; // the RGBA of the frame last added
    std::uint32_t framesAdded = 0;
    std::uint32_t sequence = 0; // of the next frame control or frame data chunk
};

// A writer for frames of `shape`, RGB when `opaque`, else RGBA.
AnimatedPngWriter startAnimatedPng(const AnimationShape& shape, bool opaque);

// Adds the next frame, whole-canvas RGBA of the shape's size; the writer keeps its pixels. A
// Write failure when the encoder runs out of memory.
Result<> addPngFrame(AnimatedPngWriter& writer, AnimationFrame&& frame);

// The file, once every frame the shape counts has been added.
std::vector<std::uint8_t> finishAnimatedPng(AnimatedPngWriter& writer);

} // namespace tessera::codecs

// Writing enlarged animations as animated PNG.
//
// The first frame is stored whole and every later one as the smallest rectangle holding the
// pixels that changed from the frame before, replacing the canvas there (blend "source",
// dispose "none"); an unchanged frame is one pixel, so that its delay is kept. Every frame is
// encoded by the PNG encoder in one colour type, and its compressed rows become the frame's data.
#pragma once

#include "animation.h"
#include "failure.h"

#include <cstdint>
#include <vector>

namespace tessera::tool {

// The animated PNG of `animation`'s frames (all of one size), RGB when `opaque`, else RGBA.
Result<std::vector<std::uint8_t>> encodeAnimatedPng(const Animation& animation, bool opaque);

} // namespace tessera::tool

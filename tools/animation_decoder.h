// Reading animated GIF, PNG and WebP files into composited frames (animation.h).
//
// GIF frames are drawn with their own or the global palette, deinterlaced, with the transparent
// index leaving the canvas as it was, and disposed of as the next frame's graphic control says:
// kept, cleared to transparent black (browsers ignore the background colour) or restored to the
// canvas before the frame. Animated PNG frames are read as animated_png_decoder.cpp says. WebP
// frames come composited from libwebp's animation decoder.
//
// A damaged or truncated animation is refused whole: no frame before the damage is kept, since
// the command could not say which part of the animation it wrote. The one exception is a GIF
// whose last frame is complete but whose end marker is missing, which is read in full.
#pragma once

#include "animation.h"
#include "failure.h"

#include <optional>
#include <span>

namespace tessera::tool {

// The frames of an animated GIF (two frames or more), of an animated PNG (an animation control
// before its image data, and a frame besides the still image) or of any WebP file; nothing for
// any other file, a single-frame GIF or a plain PNG included, which is read as a still image.
// A Read failure when the file is damaged, an Enlarge failure when it holds more than
// maxAnimationPixels or maxAnimationFrames.
std::optional<Result<Animation>> decodeAnimation(std::span<const char> file);

} // namespace tessera::tool

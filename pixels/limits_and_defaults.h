// Every limit and default of enlarging images as tessera-scale does, in one place: the factors,
// the threads, the largest enlargement (with the page's smaller budget as a parameter), the band
// size, the animation limits, the inputs' size and the PNG compression level. The command, the
// page, the Python module and the fuzzers take them from here; the page's JavaScript and the
// Python docstrings read them from the code, never retyped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <tessera/scaler.h>

namespace tessera::pixels {

inline constexpr int minFactor = minScaleFactor;
inline constexpr int maxFactor = maxScaleFactor;
inline constexpr int defaultFactor = 4;
// "2, 3, 4 or 5": the factors as every message and help text names them.
std::string factorList();

// More threads than this only cost memory: every file in flight holds its whole enlargement.
inline constexpr int maxJobs = 256;

// The largest enlargement written, in pixels: 2^28 (a 16384 x 16384 image, 1 GiB of RGBA).
// Memory is the practical bound; it also keeps the PNG encoder's 32-bit sizes and the
// scaler's 32-bit target width far from overflow.
inline constexpr std::uint64_t maxTargetPixels = std::uint64_t{1} << 28;
// The page's budget: 2^26 pixels (8192 x 8192, 256 MiB of RGBA). The page holds the source, the
// enlargement and its file in a browser's 2 GiB of WebAssembly memory at most.
inline constexpr std::uint64_t maxPageTargetPixels = std::uint64_t{1} << 26;

// Target pixels below which an image is enlarged in one piece: splitting it would cost more in
// hand-over than it saves. Also the size of the bands the page reports progress between.
inline constexpr std::uint64_t minBandTargetPixels = std::uint64_t{1} << 20;

// The most decoded pixels an animation may hold, frames times canvas pixels (128 MiB of RGBA),
// and the most frames.
inline constexpr std::uint64_t maxAnimationPixels = std::uint64_t{1} << 25;
inline constexpr std::size_t maxAnimationFrames = 10000;

// Files larger than this are refused before reading: no image the tool can write comes from one.
inline constexpr std::uintmax_t maxInputBytes = std::uintmax_t{1} << 30;

// The PNG encoder's compression level (libdeflate's scale, 1 fastest to 12): the best size for
// the time on enlarged pixel art, whose rows mostly repeat.
inline constexpr int pngCompressionLevel = 6;

// "16,384 x 16,384": the side of a square of `pixels` pixels, in the words people size images in.
std::string squareSize(std::uint64_t pixels);

// Why an image of this size cannot be enlarged by `factor` within `limit` target pixels (it is
// empty, or its enlargement is over the limit), as the end of a sentence naming the image;
// nothing when it can be.
std::optional<std::string> targetSizeRefusal(std::uint64_t width, std::uint64_t height, int factor,
                                             std::uint64_t limit = maxTargetPixels);

} // namespace tessera::pixels

// What anything that enlarges images as tessera-scale does accepts: the factors, the number of
// threads and the largest enlargement, with the check of an image's size against it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <tessera/scaler.h>

namespace tessera::pixels {

inline constexpr int minFactor = minScaleFactor;
inline constexpr int maxFactor = maxScaleFactor;
inline constexpr int defaultFactor = 4;
// More threads than this only cost memory: every file in flight holds its whole enlargement.
inline constexpr int maxJobs = 256;

// The largest enlargement written, in pixels: 2^28 (a 16384 x 16384 image, 1 GiB of RGBA).
// Memory is the practical bound; it also keeps the PNG encoder's 32-bit sizes and the
// scaler's 32-bit target width far from overflow.
inline constexpr std::uint64_t maxTargetPixels = std::uint64_t{1} << 28;

// Why an image of this size cannot be enlarged by `factor` (it is empty, or its enlargement is
// over maxTargetPixels), as the end of a sentence naming the image; nothing when it can be.
std::optional<std::string> targetSizeRefusal(std::uint64_t width, std::uint64_t height, int factor);

} // namespace tessera::pixels

// What tessera-scale accepts: the factors, the number of threads and the largest enlargement
// written, with the check of an image's size against it.
#pragma once

#include "failure.h"

#include <cstdint>

namespace tessera::tool {

inline constexpr int minFactor = 2;
inline constexpr int maxFactor = 5;
inline constexpr int defaultFactor = 4;
// More threads than this only cost memory: every file in flight holds its whole enlargement.
inline constexpr int maxJobs = 256;

// The largest enlargement written, in pixels: 2^28 (a 16384 x 16384 image, 1 GiB of RGBA).
// Memory is the practical bound; it also keeps the PNG encoder's 32-bit sizes and the
// scaler's 32-bit target width far from overflow.
inline constexpr std::uint64_t maxTargetPixels = std::uint64_t{1} << 28;

// Whether an image of this size can be enlarged by `factor`; an Enlarge failure saying why not
// (empty, or over maxTargetPixels) when it cannot.
Result<> checkTargetSize(std::uint64_t width, std::uint64_t height, int factor);

} // namespace tessera::tool

// How the source rows of one image are split into bands that threads enlarge side by side.
#pragma once

#include "limits_and_defaults.h"

#include <cstdint>
#include <vector>

namespace tessera::pixels {

struct RowBand {
    std::int32_t begin = 0; // first source row
    std::int32_t end = 0;   // one past the last source row

    friend bool operator==(const RowBand&, const RowBand&) = default;
};

// Splits the source rows into consecutive bands of near-equal height that cover
// [0, height) exactly: one band for small images or one thread, else up to two per thread
// so that threads finishing early find work.
std::vector<RowBand> planBands(std::int32_t height, std::uint64_t targetPixels, int threads);

// Splits the source rows into bands of about minBandTargetPixels target pixels each (at least one
// row), for a caller that reports progress between bands rather than shares them out.
std::vector<RowBand> planProgressBands(std::int32_t height, std::uint64_t targetPixels);

} // namespace tessera::pixels

#include "row_bands.h"

#include <algorithm>

namespace tessera::pixels {

namespace {

std::vector<RowBand> splitRows(std::int32_t height, std::uint64_t count) {
    std::vector<RowBand> bands;
    for (std::uint64_t band = 0; band < count; ++band)
        bands.push_back({static_cast<std::int32_t>(std::uint64_t(height) * band / count),
                         static_cast<std::int32_t>(std::uint64_t(height) * (band + 1) / count)});
    return bands;
}

} // namespace

std::vector<RowBand> planBands(std::int32_t height, std::uint64_t targetPixels, int threads) {
    if (height <= 0)
        return {};
    std::uint64_t count = 1;
    if (threads > 1 && targetPixels >= minBandTargetPixels)
        count =
            std::min({std::uint64_t(threads) * 2, std::uint64_t(height), targetPixels / minBandTargetPixels});
    return splitRows(height, count);
}

std::vector<RowBand> planProgressBands(std::int32_t height, std::uint64_t targetPixels) {
    if (height <= 0)
        return {};
    return splitRows(height,
                     std::clamp<std::uint64_t>(targetPixels / minBandTargetPixels, 1, std::uint64_t(height)));
}

} // namespace tessera::pixels

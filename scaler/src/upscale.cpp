// Temporary frame: plain replication until the edge-directed pass lands.
#include <tessera/scaler.h>

#include <algorithm>

void upscaleBand(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                 std::int32_t sourceHeight, const ScaleSettings&, std::int32_t rowBegin, std::int32_t rowEnd) {
    if (factor < 2 || factor > 5)
        return;
    const std::int32_t lastRow = std::min(rowEnd, sourceHeight);
    const std::int32_t firstRow = std::max(rowBegin, 0);
    if (lastRow <= firstRow || sourceWidth <= 0)
        return;
    const std::ptrdiff_t targetWidth = std::ptrdiff_t{sourceWidth} * factor;
    for (std::int32_t y = firstRow; y < lastRow; ++y)
        for (std::int32_t x = 0; x < sourceWidth; ++x)
            for (int r = 0; r < factor; ++r)
                for (int c = 0; c < factor; ++c)
                    target[(std::ptrdiff_t{y} * factor + r) * targetWidth + std::ptrdiff_t{x} * factor + c] =
                        source[std::ptrdiff_t{y} * sourceWidth + x];
}

void upscale(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
             std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd) {
    upscaleBand(factor, source, target, sourceWidth, sourceHeight, settings, 0, rowEnd);
}

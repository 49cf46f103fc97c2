// The run-time entries: one switch per call picks the pass built for the colour mode
// and the factor.
#include "colour_rules.h"
#include "scale_pass.h"

#include <algorithm>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera {
namespace {

template <typename Colours>
void enlargeBand(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                 std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                 std::int32_t rowEnd) {
    const std::int32_t firstRow = std::max(rowBegin, 0);
    const std::int32_t lastRow = std::min(rowEnd, sourceHeight);
    if (lastRow <= firstRow || sourceWidth <= 0)
        return;
    switch (factor) {
    case 2:
        return scalePass<Colours, 2>(source, target, sourceWidth, sourceHeight, settings, firstRow, lastRow);
    case 3:
        return scalePass<Colours, 3>(source, target, sourceWidth, sourceHeight, settings, firstRow, lastRow);
    case 4:
        return scalePass<Colours, 4>(source, target, sourceWidth, sourceHeight, settings, firstRow, lastRow);
    case 5:
        return scalePass<Colours, 5>(source, target, sourceWidth, sourceHeight, settings, firstRow, lastRow);
    default:
        return;
    }
}

} // namespace
} // namespace tessera

void upscaleBand(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                 std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                 std::int32_t rowEnd) {
    tessera::enlargeBand<tessera::OpaqueColours>(factor, source, target, sourceWidth, sourceHeight, settings,
                                                 rowBegin, rowEnd);
}

void upscale(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
             std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd) {
    upscaleBand(factor, source, target, sourceWidth, sourceHeight, settings, 0, rowEnd);
}

void upscaleBandWithAlpha(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                          std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                          std::int32_t rowEnd) {
    tessera::enlargeBand<tessera::AlphaColours>(factor, source, target, sourceWidth, sourceHeight, settings,
                                                rowBegin, rowEnd);
}

void upscaleWithAlpha(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                      std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd) {
    upscaleBandWithAlpha(factor, source, target, sourceWidth, sourceHeight, settings, 0, rowEnd);
}

// The run-time entries: one switch per call picks the pass built for the factor.
#include "blend_decision.h"
#include "scale_pass.h"

#include <algorithm>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera {
namespace {

template <int Factor>
auto blendInto(const ScaleSettings& settings) {
    return [&settings](const Neighbourhood& n, CornerGrades grades, const OutputBlock& block) {
        blendCorners<Factor>(n, grades, settings, block);
    };
}

} // namespace
} // namespace tessera

void upscaleBand(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                 std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                 std::int32_t rowEnd) {
    const std::int32_t firstRow = std::max(rowBegin, 0);
    const std::int32_t lastRow = std::min(rowEnd, sourceHeight);
    if (lastRow <= firstRow || sourceWidth <= 0)
        return;
    switch (factor) {
    case 2:
        return tessera::scalePass<2>(source, target, sourceWidth, sourceHeight, settings, firstRow, lastRow,
                                     tessera::blendInto<2>(settings));
    case 3:
        return tessera::scalePass<3>(source, target, sourceWidth, sourceHeight, settings, firstRow, lastRow,
                                     tessera::blendInto<3>(settings));
    case 4:
        return tessera::scalePass<4>(source, target, sourceWidth, sourceHeight, settings, firstRow, lastRow,
                                     tessera::blendInto<4>(settings));
    case 5:
        return tessera::scalePass<5>(source, target, sourceWidth, sourceHeight, settings, firstRow, lastRow,
                                     tessera::blendInto<5>(settings));
    default:
        return;
    }
}

void upscale(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
             std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd) {
    upscaleBand(factor, source, target, sourceWidth, sourceHeight, settings, 0, rowEnd);
}

// The scaler's opaque pass as it stood before it measured whole rows of pairs at a time,
// kept unchanged as the baseline the benchmark compares the library's pass with. Only its
// namespace and this entry's name differ.
#include "pass.h"

#include "blend_decision.h"
#include "scale_pass.h"

#include <algorithm>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera::baseline {
namespace {

template <int Factor>
auto blendInto(const ScaleSettings& settings) {
    return [&settings](const Neighbourhood& n, CornerGrades grades, const OutputBlock& block) {
        blendCorners<Factor>(n, grades, settings, block);
    };
}

} // namespace
} // namespace tessera::baseline

void tessera::baseline::upscaleBand(std::int32_t factor, const Pixel* source, Pixel* target,
                                    std::int32_t sourceWidth, std::int32_t sourceHeight,
                                    const ScaleSettings& settings, std::int32_t rowBegin,
                                    std::int32_t rowEnd) {
    const std::int32_t firstRow = std::max(rowBegin, 0);
    const std::int32_t lastRow = std::min(rowEnd, sourceHeight);
    if (lastRow <= firstRow || sourceWidth <= 0)
        return;
    switch (factor) {
    case 2:
        return tessera::baseline::scalePass<2>(source, target, sourceWidth, sourceHeight, settings, firstRow,
                                               lastRow, tessera::baseline::blendInto<2>(settings));
    case 3:
        return tessera::baseline::scalePass<3>(source, target, sourceWidth, sourceHeight, settings, firstRow,
                                               lastRow, tessera::baseline::blendInto<3>(settings));
    case 4:
        return tessera::baseline::scalePass<4>(source, target, sourceWidth, sourceHeight, settings, firstRow,
                                               lastRow, tessera::baseline::blendInto<4>(settings));
    case 5:
        return tessera::baseline::scalePass<5>(source, target, sourceWidth, sourceHeight, settings, firstRow,
                                               lastRow, tessera::baseline::blendInto<5>(settings));
    default:
        return;
    }
}

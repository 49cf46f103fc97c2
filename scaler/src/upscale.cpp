// The run-time entries: each call picks, from the table of the instruction set chosen
// once (dispatch.h), the pass built for its colour mode and factor.
#include "dispatch.h"

#include <algorithm>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera {
namespace {

void enlargeBand(const Pass (&passes)[4], std::int32_t factor, const Pixel* source, Pixel* target,
                 std::int32_t sourceWidth, std::int32_t sourceHeight, const ScaleSettings& settings,
                 std::int32_t rowBegin, std::int32_t rowEnd) {
    const std::int32_t firstRow = std::max(rowBegin, 0);
    const std::int32_t lastRow = std::min(rowEnd, sourceHeight);
    if (lastRow <= firstRow || sourceWidth <= 0 || factor < 2 || factor > 5)
        return;
    passes[factor - 2](source, target, sourceWidth, sourceHeight, settings, firstRow, lastRow);
}

} // namespace
} // namespace tessera

void upscaleBand(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                 std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                 std::int32_t rowEnd) {
    tessera::enlargeBand(tessera::activePasses().opaque, factor, source, target, sourceWidth, sourceHeight,
                         settings, rowBegin, rowEnd);
}

void upscale(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
             std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd) {
    upscaleBand(factor, source, target, sourceWidth, sourceHeight, settings, 0, rowEnd);
}

void upscaleBandWithAlpha(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                          std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                          std::int32_t rowEnd) {
    tessera::enlargeBand(tessera::activePasses().alpha, factor, source, target, sourceWidth, sourceHeight,
                         settings, rowBegin, rowEnd);
}

void upscaleWithAlpha(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                      std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd) {
    upscaleBandWithAlpha(factor, source, target, sourceWidth, sourceHeight, settings, 0, rowEnd);
}

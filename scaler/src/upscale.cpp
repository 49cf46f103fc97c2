// The run-time entries: each call picks, from the table of the instruction set chosen
// once (dispatch.h), the pass built for its colour mode and factor.
#include "dispatch.h"
#include "enlargement.h"
#include "target_rows.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tessera/scaler.h>

namespace tessera {
namespace {

// A cell size that is not positive, or larger than the image, is the image's own.
std::int32_t cellSpan(std::int32_t cell, std::int32_t size) {
    return cell > 0 ? std::min(cell, size) : size;
}

bool knownModes(const ScaleOptions& options) {
    return (options.colours == ColourMode::Opaque || options.colours == ColourMode::WithAlpha) &&
           (options.edges == EdgeMode::Clamp || options.edges == EdgeMode::Wrap);
}

void enlarge(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
             std::int32_t sourceHeight, const ScaleSettings& settings, const ScaleOptions& options) {
    const std::int32_t firstRow = std::max(options.rowBegin, 0);
    const std::int32_t lastRow = std::min(options.rowEnd, sourceHeight);
    if (lastRow <= firstRow || sourceWidth <= 0 || factor < minScaleFactor || factor > maxScaleFactor ||
        !knownModes(options))
        return;
    const PassTable& passes = activePasses();
    const Pass pass = (options.colours == ColourMode::WithAlpha ? passes.alpha : passes.opaque)[factor - 2];

    pass({{source, sourceWidth, sourceWidth, sourceHeight, options.edges},
          cellSpan(options.cellWidth, sourceWidth),
          cellSpan(options.cellHeight, sourceHeight),
          target,
          static_cast<std::ptrdiff_t>(sourceWidth) * factor,
          firstRow,
          lastRow,
          streamsTarget(sourceWidth, sourceHeight, factor),
          options.bandTarget ? firstRow : 0},
         settings);
}

} // namespace
} // namespace tessera

void upscaleWithOptions(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                        std::int32_t sourceHeight, const ScaleSettings& settings,
                        const ScaleOptions& options) {
    tessera::enlarge(factor, source, target, sourceWidth, sourceHeight, settings, options);
}

void upscaleBand(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                 std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                 std::int32_t rowEnd) {
    upscaleWithOptions(factor, source, target, sourceWidth, sourceHeight, settings,
                       {ColourMode::Opaque, EdgeMode::Clamp, 0, 0, rowBegin, rowEnd});
}

void upscale(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
             std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd) {
    upscaleBand(factor, source, target, sourceWidth, sourceHeight, settings, 0, rowEnd);
}

void upscaleBandWithAlpha(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                          std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                          std::int32_t rowEnd) {
    upscaleWithOptions(factor, source, target, sourceWidth, sourceHeight, settings,
                       {ColourMode::WithAlpha, EdgeMode::Clamp, 0, 0, rowBegin, rowEnd});
}

void upscaleWithAlpha(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                      std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowEnd) {
    upscaleBandWithAlpha(factor, source, target, sourceWidth, sourceHeight, settings, 0, rowEnd);
}

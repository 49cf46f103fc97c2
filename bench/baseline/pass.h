// The baseline pass of the benchmark: the scaler's opaque enlargement before it measured
// whole rows of pixel pairs at a time, giving the same words as upscaleBand.
#pragma once

#include <cstdint>
#include <tessera/scaler.h>

namespace tessera::baseline {

void upscaleBand(std::int32_t factor, const Pixel* source, Pixel* target, std::int32_t sourceWidth,
                 std::int32_t sourceHeight, const ScaleSettings& settings, std::int32_t rowBegin,
                 std::int32_t rowEnd);

} // namespace tessera::baseline

// From the bytes of an input file to the words tessera-scale enlarges: the one path every input
// takes, from the command and from the fuzzer alike.
#pragma once

#include "failure.h"
#include "pixel_conversion.h"

#include <cstdint>
#include <optional>
#include <span>
#include <tessera/scaler.h>
#include <vector>

namespace tessera::tool {

struct SourceImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Pixel> pixels; // width * height words, row-major, for enlargement in `conversion.mode`
    pixels::Conversion conversion;
};

// Reads the size the file's header declares and judges it for `factor` before anything is
// decoded (the decoder allocates whatever a file declares), decodes the image, keeps it only if
// it has exactly the size that was judged, and converts it with convertToWords. A Read failure
// when the file is not an image the decoder takes or is damaged, an Enlarge failure when the
// image is empty or too large.
Result<SourceImage> loadSourceImage(std::span<const char> file, int factor,
                                    std::optional<pixels::Rgb> background);

} // namespace tessera::tool

#include "png_encoder.h"

#include "png_writer.h"

#include <new>

namespace tessera::tool {

Result<EncodedPng> encodePng(std::span<const std::uint8_t> rgba, std::uint32_t width, std::uint32_t height,
                             int threads) {
    if (std::size_t{width} * height == 0 || rgba.size() < std::size_t{width} * height * 4)
        return Failure{Step::Write, "there is no image to encode"};
    try {
        return EncodedPng{png::encodeRgba(rgba, width, height, {.level = 6, .threads = threads})};
    } catch (const std::bad_alloc&) {
        return Failure{Step::Write, "not enough memory to encode the PNG"};
    }
}

} // namespace tessera::tool

#include "png_encoder.h"

#include "png_writer.h"

#include <new>

namespace tessera::tool {
namespace {

Result<EncodedPng> encode(std::span<const std::uint8_t> rgba, std::uint32_t width, std::uint32_t height,
                          const png::EncodeOptions& options) {
    if (std::size_t{width} * height == 0 || rgba.size() < std::size_t{width} * height * 4)
        return Failure{Step::Write, "there is no image to encode"};
    try {
        return EncodedPng{png::encodeRgba(rgba, width, height, options)};
    } catch (const std::bad_alloc&) {
        return Failure{Step::Write, "not enough memory to encode the PNG"};
    }
}

} // namespace

Result<EncodedPng> encodePng(std::span<const std::uint8_t> rgba, std::uint32_t width, std::uint32_t height,
                             int threads) {
    return encode(rgba, width, height, {.level = 6, .threads = threads});
}

Result<EncodedPng> encodePngAs(std::span<const std::uint8_t> rgba, std::uint32_t width, std::uint32_t height,
                               PngColourType type) {
    return encode(rgba, width, height,
                  {.level = 6,
                   .threads = 1,
                   .colourType = type == PngColourType::Truecolour ? png::ColourType::Truecolour
                                                                   : png::ColourType::TruecolourAlpha});
}

} // namespace tessera::tool

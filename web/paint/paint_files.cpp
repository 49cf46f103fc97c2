// The painter's PNG encoding and image decoding: the command's own codecs (codecs/), so that
// canvas.png and image.png are encoded as tessera-scale encodes its PNGs, and Ctrl+O reads every
// format the command reads (an animation as its first frame). These two functions are the only
// place the painter meets image files.
#include "paint_files.h"

#include "image_file.h"
#include "png_encoder.h"

#include <variant>

namespace tessera::paint {
namespace {

// The largest image opened: 2^26 pixels (8192 × 8192, 256 MiB of RGBA), as much as the page's
// memory holds beside the canvas; only its top-left corner reaches the canvas anyway.
constexpr std::uint64_t maxOpenedPixels = std::uint64_t{1} << 26;

} // namespace

std::vector<std::uint8_t> encodePaintPng(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                         std::uint32_t height) {
    Result<std::vector<std::uint8_t>> png = codecs::encodePng(rgba, width, height);
    if (std::holds_alternative<Failure>(png))
        return {};
    return std::move(std::get<std::vector<std::uint8_t>>(png));
}

DecodedFile decodePaintFile(std::span<const char> file) {
    Result<codecs::DecodedImage> decoded =
        codecs::decodeFirstFrame(file, codecs::withinPixels(maxOpenedPixels));
    if (const Failure* failure = std::get_if<Failure>(&decoded))
        return {0, 0, {}, failure->reason};
    codecs::DecodedImage& image = std::get<codecs::DecodedImage>(decoded);
    return {image.width, image.height, std::move(image.rgba), {}};
}

} // namespace tessera::paint

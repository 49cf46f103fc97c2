// tessera-scale's path from the bytes of an input file to the enlargement it writes: the size
// check on the header, decode, size check, flattening onto the background, band plan, the bands'
// enlargement and the conversion back to opaque RGBA, exactly as the command chains them (the file reading
// before and the PNG writing after are plain I/O and stay out).
#include "fuzz_check.h"
#include "image_decoder.h"
#include "scale_pixels.h"

#include <SFML/Graphics/Image.hpp>
#include <algorithm>
#include <optional>
#include <span>
#include <vector>

namespace {

// Larger enlargements are valid for the command, but would spend the fuzzing time in the scaler,
// which has a fuzz target of its own.
constexpr std::uint64_t maxFuzzedTargetPixels = std::uint64_t{1} << 22;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The factor and the background vary with the input so that each is reached by some of it.
    const int factor = tessera::tool::minFactor + static_cast<int>(size % 4);

    const std::vector<char> bytes(data, data + size);
    const std::optional<tessera::tool::DeclaredImage> declared = tessera::tool::readDeclaredImage(bytes);
    if (!declared || tessera::tool::checkDeclaredImage(*declared, factor))
        return 0;
    std::optional<tessera::tool::DecodedImage> image = tessera::tool::decodeImage(bytes);
    if (!image)
        return 0;
    // The refusal before decoding is only sound if every image decodes to the size its header
    // declares; the command refuses any other, but the decoder would have allocated for it first.
    fuzz::require(image->width == declared->width && image->height == declared->height,
                  "an image decodes to the size its header declares");

    const tessera::tool::Rgb background{static_cast<std::uint8_t>(size * 37),
                                        static_cast<std::uint8_t>(size * 91),
                                        static_cast<std::uint8_t>(size * 13)};
    const std::uint64_t width = image->width;
    const std::uint64_t height = image->height;
    const std::uint64_t targetPixels = width * height * factor * factor;
    const bool refused = tessera::tool::checkTargetSize(width, height, factor).has_value();
    fuzz::require(refused == (width == 0 || height == 0 || targetPixels > tessera::tool::maxTargetPixels),
                  "only empty images and those whose enlargement exceeds the limit are refused");
    if (refused || targetPixels > maxFuzzedTargetPixels)
        return 0;

    const std::span<const std::uint8_t> rgba{image->rgba.get(), width * height * 4};
    std::vector<Pixel> source(width * height);
    const bool flattened = tessera::tool::flattenToWords(rgba, background, source);
    bool translucent = false;
    for (std::size_t i = 3; i < rgba.size(); i += 4)
        translucent = translucent || rgba[i] != 255;
    fuzz::require(flattened == translucent, "flattening is reported exactly when a pixel is not opaque");
    fuzz::require(std::all_of(source.begin(), source.end(), [](Pixel p) { return p >> 24 == 0xFF; }),
                  "the scaler gets opaque words only");
    image.reset();

    const auto sourceWidth = static_cast<std::int32_t>(width);
    const auto sourceHeight = static_cast<std::int32_t>(height);
    std::vector<Pixel> target(targetPixels);
    const std::vector<tessera::tool::RowBand> bands = tessera::tool::planBands(sourceHeight, targetPixels, 2);
    std::int32_t covered = 0;
    for (const tessera::tool::RowBand& band : bands) {
        fuzz::require(band.begin == covered && band.end > band.begin, "the bands cover the rows in order");
        covered = band.end;
        upscaleBand(factor, source.data(), target.data(), sourceWidth, sourceHeight, ScaleSettings{},
                    band.begin, band.end);
    }
    fuzz::require(covered == sourceHeight, "the bands cover every row");

    auto* out = reinterpret_cast<std::uint8_t*>(target.data());
    tessera::tool::writeOpaqueRgba(target, out);
    for (std::size_t i = 3; i < target.size() * 4; i += 4)
        fuzz::require(out[i] == 255, "the written image is opaque");
    sf::Image output;
    output.create(static_cast<unsigned>(width * factor), static_cast<unsigned>(height * factor), out);
    fuzz::require(output.getSize().x == width * factor && output.getSize().y == height * factor,
                  "the output image has the enlarged size");
    return 0;
}

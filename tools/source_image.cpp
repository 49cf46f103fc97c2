#include "source_image.h"

#include "image_decoder.h"

namespace tessera::tool {

Result<SourceImage> loadSourceImage(std::span<const char> file, int factor,
                                    std::optional<pixels::Rgb> background) {
    Result<DecodedImage> loaded = loadImage(file, factor);
    if (const Failure* failure = std::get_if<Failure>(&loaded))
        return *failure;
    const DecodedImage& image = std::get<DecodedImage>(loaded);

    SourceImage source;
    source.width = static_cast<std::int32_t>(image.width);
    source.height = static_cast<std::int32_t>(image.height);
    const std::size_t count = std::size_t{image.width} * image.height;
    source.pixels.resize(count);
    source.conversion = pixels::convertToWords({image.rgba.get(), count * 4}, background, source.pixels);
    return source;
}

} // namespace tessera::tool

#include "source_image.h"

#include "image_decoder.h"

namespace tessera::tool {

Result<SourceImage> loadSourceImage(std::span<const char> file, int factor,
                                    std::optional<pixels::Rgb> background) {
    Result<DeclaredImage> declared = readDeclaredImage(file);
    if (const Failure* failure = std::get_if<Failure>(&declared))
        return *failure;
    const DeclaredImage& size = std::get<DeclaredImage>(declared);
    if (Result<> judged = checkDeclaredImage(size, factor);
        const Failure* failure = std::get_if<Failure>(&judged))
        return *failure;
    Result<DecodedImage> decoded = decodeImage(file);
    if (const Failure* failure = std::get_if<Failure>(&decoded))
        return *failure;
    const DecodedImage& image = std::get<DecodedImage>(decoded);
    // Only an image of the size judged above may go on; the check on it holds for no other.
    if (image.width != size.width || image.height != size.height)
        return Failure{Step::Read, std::string{unreadableImage}};

    SourceImage source;
    source.width = static_cast<std::int32_t>(image.width);
    source.height = static_cast<std::int32_t>(image.height);
    const std::size_t count = std::size_t{image.width} * image.height;
    source.pixels.resize(count);
    source.conversion = pixels::convertToWords({image.rgba.get(), count * 4}, background, source.pixels);
    return source;
}

} // namespace tessera::tool

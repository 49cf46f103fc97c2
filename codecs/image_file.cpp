#include "image_file.h"

#include "formats.h"
#include "png_chunks.h"

#include <string_view>

namespace tessera::codecs {
namespace {

enum class Format { Gif, Webp, Png, OtherStill };

bool startsWith(std::span<const char> file, std::size_t at, std::string_view text) {
    return file.size() >= at + text.size() && std::string_view{file.data() + at, text.size()} == text;
}

Format formatOf(std::span<const char> file) {
    if (startsWith(file, 0, "GIF87a") || startsWith(file, 0, "GIF89a"))
        return Format::Gif;
    if (startsWith(file, 0, "RIFF") && startsWith(file, 8, "WEBP"))
        return Format::Webp;
    if (isPng({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()}))
        return Format::Png;
    return Format::OtherStill;
}

// An animation of one frame is that frame as a still image.
DecodedFile stillIfOneFrame(Animation&& animation) {
    if (animation.frames.size() != 1)
        return std::move(animation);
    return DecodedImage{animation.width, animation.height, std::move(animation.frames.front().rgba)};
}

Result<DecodedFile> fromAnimation(Result<Animation>&& decoded) {
    if (const Failure* failure = std::get_if<Failure>(&decoded))
        return *failure;
    return stillIfOneFrame(std::get<Animation>(std::move(decoded)));
}

} // namespace

Result<DecodedFile> decodeImageFile(std::span<const char> file, const SizeJudge& judge) {
    switch (formatOf(file)) {
    case Format::Gif:
        return fromAnimation(decodeGif(file, judge));
    case Format::Webp:
        return fromAnimation(decodeWebp(file, judge));
    case Format::Png:
        if (std::optional<Result<Animation>> animated = decodeAnimatedPng(file, judge))
            return fromAnimation(std::move(*animated));
        break;
    case Format::OtherStill:
        break;
    }
    Result<DecodedImage> still = decodeStill(file, judge);
    if (const Failure* failure = std::get_if<Failure>(&still))
        return *failure;
    return DecodedFile{std::get<DecodedImage>(std::move(still))};
}

Result<DecodedImage> decodeFirstFrame(std::span<const char> file, const SizeJudge& judge) {
    Result<DecodedFile> decoded = decodeImageFile(file, judge);
    if (const Failure* failure = std::get_if<Failure>(&decoded))
        return *failure;
    DecodedFile& contents = std::get<DecodedFile>(decoded);
    if (auto* animation = std::get_if<Animation>(&contents))
        return DecodedImage{animation->width, animation->height, std::move(animation->frames.front().rgba)};
    return std::get<DecodedImage>(std::move(contents));
}

} // namespace tessera::codecs

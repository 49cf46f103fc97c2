// tessera-scale's path from the bytes of an input file to the PNG it writes, through the same
// functions the command calls: loading (header, size check, decoding, conversion), the band plan,
// the bands' enlargement, the conversion back to RGBA and the PNG encoding, which must decode to
// exactly those bytes again; for an animation, its decoding into frames and its enlargement into
// an animated PNG. Only the file reading before and the file writing after stay out.
#include "animation_decoder.h"
#include "animation_run.h"
#include "command_line.h"
#include "fuzz_check.h"
#include "image_decoder.h"
#include "png_encoder.h"
#include "row_bands.h"
#include "source_image.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

namespace {

using namespace tessera::tool;

// Larger enlargements are valid for the command, but would spend the fuzzing time in the scaler,
// which has a fuzz target of its own, and in the encoder's compression, where small images take
// the same branches. For an animation the bound is on all its frames together.
constexpr std::uint64_t maxFuzzedTargetPixels = std::uint64_t{1} << 16;
constexpr std::uint64_t maxEncodedTargetPixels = std::uint64_t{1} << 14;
// A larger image that the command accepts is decoded just as a small one is, only for longer, and
// filling buffers of up to 256 MiB would take most of the fuzzing time: such files are fuzzed up
// to the judgement of their declared size. Sizes the command refuses still take the whole path,
// as they are refused before anything is decoded.
constexpr std::uint64_t maxDecodedSourcePixels = std::uint64_t{1} << 18;

// The size a file's header declares, when the command goes on to decode it.
std::optional<DeclaredImage> decodableSize(std::span<const char> bytes, int factor) {
    const Result<DeclaredImage> declared = readDeclaredImage(bytes);
    const DeclaredImage* size = std::get_if<DeclaredImage>(&declared);
    if (size == nullptr || std::holds_alternative<Failure>(checkDeclaredImage(*size, factor)))
        return std::nullopt;
    return *size;
}

// The loader refuses an image whose decoded size differs from the size its header declared. The
// refusal before decoding is only sound if that never happens, since the decoder would have
// allocated for the other size first.
void requireDeclaredSizeHolds(std::span<const char> bytes, const std::optional<DeclaredImage>& size) {
    if (!size)
        return;
    const Result<DecodedImage> decoded = decodeImage(bytes);
    const DecodedImage* image = std::get_if<DecodedImage>(&decoded);
    fuzz::require(image == nullptr || (image->width == size->width && image->height == size->height),
                  "an image decodes to the size its header declares");
}

// The frames the animation decoder gives, then, for a small animation, the command's enlargement
// of the file: a PNG of the enlarged canvas that decodes as one.
void checkAnimation(const Result<Animation>& decoded, std::span<const char> bytes, int factor,
                    std::optional<Rgb> background) {
    const Animation* animation = std::get_if<Animation>(&decoded);
    if (animation == nullptr)
        return;
    const std::uint64_t canvas = std::uint64_t{animation->width} * animation->height;
    const std::size_t frames = animation->frames.size();
    fuzz::require(frames >= 1 && frames <= maxAnimationFrames && canvas * frames <= maxAnimationPixels,
                  "an animation keeps to the frame and pixel limits");
    fuzz::require(std::all_of(animation->frames.begin(), animation->frames.end(),
                              [&](const AnimationFrame& frame) {
                                  return frame.rgba.size() == canvas * 4 && frame.delayDenominator != 0;
                              }),
                  "every frame covers the canvas and has a delay");
    if (canvas * frames * factor * factor > maxFuzzedTargetPixels)
        return;

    const auto enlarged = enlargeAnimationFile(bytes, factor, background);
    fuzz::require(enlarged.has_value(), "a file decoded as an animation is enlarged as one");
    const auto* written = std::get_if<EnlargedAnimation>(&*enlarged);
    if (written == nullptr)
        return;
    const std::span<const char> file{reinterpret_cast<const char*>(written->file.data()),
                                     written->file.size()};
    const Result<DeclaredImage> declared = readDeclaredImage(file);
    const DeclaredImage* size = std::get_if<DeclaredImage>(&declared);
    fuzz::require(size != nullptr && size->width == animation->width * factor &&
                      size->height == animation->height * factor,
                  "an enlarged animation is a PNG of the enlarged canvas");
    fuzz::require(std::holds_alternative<DecodedImage>(decodeImage(file)), "an enlarged animation decodes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The factor and the background vary with the input so that each is reached by some of it.
    const int factor = minFactor + static_cast<int>(size % 4);
    std::optional<Rgb> background;
    if (size / 4 % 2 == 0)
        background = Rgb{static_cast<std::uint8_t>(size * 37), static_cast<std::uint8_t>(size * 91),
                         static_cast<std::uint8_t>(size * 13)};

    const std::vector<char> bytes(data, data + size);
    const std::optional<DeclaredImage> declared = decodableSize(bytes, factor);
    if (declared && std::uint64_t{declared->width} * declared->height > maxDecodedSourcePixels)
        return 0;
    // Animations take their own path to an animated PNG.
    if (const std::optional<Result<Animation>> animation = decodeAnimation(bytes)) {
        checkAnimation(*animation, bytes, factor, background);
        return 0;
    }
    Result<SourceImage> loaded = loadSourceImage(bytes, factor, background);
    if (std::holds_alternative<Failure>(loaded)) {
        requireDeclaredSizeHolds(bytes, declared);
        return 0;
    }
    SourceImage& image = std::get<SourceImage>(loaded);
    const bool translucent =
        std::any_of(image.pixels.begin(), image.pixels.end(), [](Pixel p) { return p >> 24 != 0xFF; });
    const ScaleMode mode = image.conversion.mode;
    fuzz::require(translucent == (mode == ScaleMode::WithAlpha),
                  "words keep an alpha below 255 exactly in the alpha-aware mode");
    fuzz::require(!background || mode == ScaleMode::Opaque, "a background makes every image opaque");
    fuzz::require(!image.conversion.flattened || background, "only a background flattens");

    const auto width = static_cast<std::uint64_t>(image.width);
    const auto height = static_cast<std::uint64_t>(image.height);
    const std::uint64_t targetPixels = width * height * factor * factor;
    if (targetPixels > maxFuzzedTargetPixels)
        return 0;
    std::vector<Pixel> target(targetPixels);
    std::int32_t covered = 0;
    for (const RowBand& band : planBands(image.height, targetPixels, 2)) {
        fuzz::require(band.begin == covered && band.end > band.begin, "the bands cover the rows in order");
        covered = band.end;
        enlargeBand(mode, factor, image.pixels.data(), target.data(), image.width, image.height,
                    ScaleSettings{}, band.begin, band.end);
    }
    fuzz::require(covered == image.height, "the bands cover every row");
    image.pixels = {};

    auto* rgba = reinterpret_cast<std::uint8_t*>(target.data());
    convertToRgba(mode, target, rgba);
    const std::span<const std::uint8_t> written{rgba, target.size() * 4};
    if (mode == ScaleMode::Opaque)
        for (std::size_t i = 3; i < written.size(); i += 4)
            fuzz::require(written[i] == 255, "an opaque enlargement is written opaque");
    if (targetPixels > maxEncodedTargetPixels)
        return 0;

    const auto targetWidth = static_cast<std::uint32_t>(width * factor);
    const auto targetHeight = static_cast<std::uint32_t>(height * factor);
    const Result<EncodedPng> png = encodePng(written, targetWidth, targetHeight);
    const EncodedPng* encoded = std::get_if<EncodedPng>(&png);
    fuzz::require(encoded != nullptr, "the enlargement is encoded");
    const std::span<const std::uint8_t> file = encoded->view();
    const Result<DecodedImage> decoded =
        decodeImage({reinterpret_cast<const char*>(file.data()), file.size()});
    const DecodedImage* back = std::get_if<DecodedImage>(&decoded);
    fuzz::require(back != nullptr && back->width == targetWidth && back->height == targetHeight &&
                      std::equal(written.begin(), written.end(), back->rgba.get()),
                  "the PNG decodes to exactly the bytes encoded");
    return 0;
}

// The command's path from the bytes of an input file to the file it writes, through enlarge/'s
// one path as tessera-scale takes it: the size judged from the header, the decoding, the
// conversion, the band plan, the bands' enlargement and the encoding, whose output must decode to
// exactly the enlarged bytes; for an animation, every frame and the animated file. Only the file
// reading before and the file writing after stay out.
#include "enlarge.h"
#include "fuzz_check.h"
#include "image_file.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

namespace {

using namespace tessera;

// Larger enlargements are valid for the command, but would spend the fuzzing time in the scaler,
// which has a fuzz target of its own, and in the encoder's compression, where small images take
// the same branches. The request's budget keeps them out the way the page's smaller budget does:
// judged from the header, before anything is decoded, so that larger declared sizes still take
// the path up to their refusal.
constexpr std::uint64_t maxFuzzedTargetPixels = std::uint64_t{1} << 16;

std::span<const char> asChars(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The file written decodes as an image of the enlarged canvas.
void requireDecodes(std::span<const std::uint8_t> file, std::int32_t width, std::int32_t height, int factor) {
    const Result<codecs::DecodedFile> decoded =
        codecs::decodeImageFile(asChars(file), codecs::withinPixels(maxFuzzedTargetPixels));
    const auto* still = std::get_if<codecs::DecodedImage>(std::get_if<codecs::DecodedFile>(&decoded));
    const auto* animation = std::get_if<codecs::Animation>(std::get_if<codecs::DecodedFile>(&decoded));
    const auto expectedWidth = static_cast<std::uint32_t>(width * factor);
    const auto expectedHeight = static_cast<std::uint32_t>(height * factor);
    fuzz::require((still != nullptr && still->width == expectedWidth && still->height == expectedHeight) ||
                      (animation != nullptr && animation->width == expectedWidth &&
                       animation->height == expectedHeight),
                  "an enlargement decodes as an image of the enlarged canvas");
}

void checkStill(const enlarge::Request& request, enlarge::StillImage& still,
                std::optional<pixels::Rgb> background) {
    const bool translucent =
        std::any_of(still.source.begin(), still.source.end(), [](Pixel p) { return p >> 24 != 0xFF; });
    const ColourMode mode = still.conversion.mode;
    fuzz::require(translucent == (mode == ColourMode::WithAlpha),
                  "words keep an alpha below 255 exactly in the alpha-aware mode");
    fuzz::require(!background || mode == ColourMode::Opaque, "a background makes every image opaque");
    fuzz::require(!still.conversion.flattened || background, "only a background flattens");

    std::int32_t covered = 0;
    for (const pixels::RowBand& band : pixels::planBands(still.height, still.targetPixels, 2)) {
        fuzz::require(band.begin == covered && band.end > band.begin, "the bands cover the rows in order");
        covered = band.end;
        enlarge::enlargeBand(request, still, band);
    }
    fuzz::require(covered == still.height, "the bands cover every row");
    const auto* rgba = reinterpret_cast<const std::uint8_t*>(still.target.get());
    const std::vector<std::uint8_t> enlarged(rgba, rgba + still.targetPixels * 4);
    if (mode == ColourMode::Opaque)
        for (std::size_t i = 3; i < enlarged.size(); i += 4)
            fuzz::require(enlarged[i] == 255, "an opaque enlargement is written opaque");

    const std::int32_t width = still.width, height = still.height;
    const Result<std::vector<std::uint8_t>> file = enlarge::encodeStill(request, still);
    const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&file);
    fuzz::require(bytes != nullptr, "the enlargement is encoded");
    const Result<codecs::DecodedFile> decoded =
        codecs::decodeImageFile(asChars(*bytes), codecs::withinPixels(maxFuzzedTargetPixels));
    const auto* back = std::get_if<codecs::DecodedImage>(std::get_if<codecs::DecodedFile>(&decoded));
    fuzz::require(back != nullptr && back->width == static_cast<std::uint32_t>(width * request.factor) &&
                      back->height == static_cast<std::uint32_t>(height * request.factor) &&
                      back->rgba == enlarged,
                  "the PNG decodes to exactly the bytes encoded");
}

void checkAnimation(const enlarge::Request& request, enlarge::AnimationImage& animation) {
    const codecs::Animation& frames = animation.animation;
    const std::uint64_t canvas = std::uint64_t{frames.width} * frames.height;
    fuzz::require(frames.frames.size() >= 2 && frames.frames.size() <= pixels::maxAnimationFrames &&
                      canvas * frames.frames.size() <= pixels::maxAnimationPixels,
                  "an animation has two frames or more and keeps to the frame and pixel limits");
    fuzz::require(std::all_of(frames.frames.begin(), frames.frames.end(),
                              [&](const codecs::AnimationFrame& frame) {
                                  return frame.rgba.size() == canvas * 4 && frame.delayDenominator != 0;
                              }),
                  "every frame covers the canvas and has a delay");
    if (canvas * frames.frames.size() * request.factor * request.factor > maxFuzzedTargetPixels)
        return;
    while (animation.nextFrame < frames.frames.size())
        fuzz::require(std::holds_alternative<std::monostate>(enlarge::enlargeFrame(request, animation)),
                      "every frame of a decoded animation is enlarged");
    const Result<std::vector<std::uint8_t>> file = enlarge::finishAnimation(animation);
    const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&file);
    fuzz::require(bytes != nullptr, "an enlarged animation is written");
    requireDecodes(*bytes, static_cast<std::int32_t>(frames.width), static_cast<std::int32_t>(frames.height),
                   request.factor);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The factor and the background vary with the input so that each is reached by some of it.
    enlarge::Request request;
    request.factor = pixels::minFactor + static_cast<int>(size % 4);
    request.maxTargetPixels = maxFuzzedTargetPixels;
    if (size / 4 % 2 == 0)
        request.background =
            pixels::Rgb{static_cast<std::uint8_t>(size * 37), static_cast<std::uint8_t>(size * 91),
                        static_cast<std::uint8_t>(size * 13)};

    const std::vector<char> bytes(data, data + size);
    Result<enlarge::Opened> opened = enlarge::openFile(bytes, request);
    auto* image = std::get_if<enlarge::Opened>(&opened);
    if (image == nullptr)
        return 0;
    if (auto* still = std::get_if<enlarge::StillImage>(&image->image))
        checkStill(request, *still, request.background);
    else
        checkAnimation(request, std::get<enlarge::AnimationImage>(image->image));
    return 0;
}

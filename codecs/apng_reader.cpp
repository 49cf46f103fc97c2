// Animated PNG: the chunk layer is read here, each frame's pixels by the still-image decoder.
//
// A frame's compressed rows (IDAT for a first frame that is the still image, else its fdAT
// chunks without their sequence numbers) are put behind a copy of the file's header, sized to
// the frame, and of its palette and transparency chunks, and decoded as a PNG of their own. The
// frame is then drawn onto the canvas, replacing it ("source") or over it ("over"), and the
// canvas disposed of after it: kept, cleared to transparent black, or restored to what it was
// before.
#include "formats.h"
#include "png_chunks.h"

#include <algorithm>
#include <cstring>

namespace tessera::codecs {
namespace {

enum class Disposal : std::uint8_t { None, Background, Previous };
enum class Blend : std::uint8_t { Source, Over };

struct FrameControl {
    std::uint32_t width = 0, height = 0, x = 0, y = 0;
    std::uint16_t delayNumerator = 0, delayDenominator = 0;
    Disposal disposal = Disposal::None;
    Blend blend = Blend::Source;
};

struct PendingFrame {
    FrameControl control;
    std::vector<std::uint8_t> data; // the frame's zlib stream
};

// Everything of the file the frames need, read in one pass over its chunks.
struct AnimatedPng {
    std::span<const std::uint8_t> header; // IHDR payload
    std::uint32_t width = 0, height = 0;
    std::uint32_t frameCount = 0, plays = 0;
    bool stillIsFrame = false;              // a frame control came before the image data
    std::vector<std::uint8_t> sharedChunks; // PLTE and tRNS, whole, as each frame's PNG needs them
    std::vector<PendingFrame> frames;
};

std::optional<FrameControl> readFrameControl(std::span<const std::uint8_t> data, std::uint32_t width,
                                             std::uint32_t height) {
    if (data.size() != 26)
        return std::nullopt;
    FrameControl control{wordAt(data, 4),
                         wordAt(data, 8),
                         wordAt(data, 12),
                         wordAt(data, 16),
                         static_cast<std::uint16_t>(data[20] << 8 | data[21]),
                         static_cast<std::uint16_t>(data[22] << 8 | data[23]),
                         static_cast<Disposal>(data[24]),
                         static_cast<Blend>(data[25])};
    const bool fits = control.width > 0 && control.height > 0 &&
                      std::uint64_t{control.x} + control.width <= width &&
                      std::uint64_t{control.y} + control.height <= height;
    if (!fits || data[24] > 2 || data[25] > 1)
        return std::nullopt;
    if (control.delayDenominator == 0)
        control.delayDenominator = 100; // as the format says: hundredths of a second
    return control;
}

// Reads the chunks; nothing when there is no animation control before the image data, a Read
// failure when the chunks or their sequence numbers are not those of a whole animated PNG.
std::optional<Result<AnimatedPng>> readChunks(std::span<const std::uint8_t> file) {
    AnimatedPng png;
    PngChunkReader reader{file};
    const std::optional<PngChunk> first = nextChunk(reader);
    if (!first || first->type != "IHDR" || first->data.size() != 13)
        return std::nullopt; // not a PNG the still decoder takes either: it says so
    png.header = first->data;
    png.width = wordAt(png.header, 0);
    png.height = wordAt(png.header, 4);
    bool animated = false, seenData = false, ended = false;
    std::uint32_t sequence = 0;
    PendingFrame* current = nullptr; // the frame whose data chunks come next
    while (const std::optional<PngChunk> chunk = nextChunk(reader)) {
        const std::string_view type = chunk->type;
        const std::span<const std::uint8_t> data = chunk->data;
        if (type == "IEND") {
            ended = true;
            break;
        }
        if (type == "acTL" && !seenData && !animated) {
            if (data.size() != 8)
                return damagedAnimation("PNG");
            animated = true;
            png.frameCount = wordAt(data, 0);
            png.plays = wordAt(data, 4);
            if (png.frameCount == 0)
                return damagedAnimation("PNG");
            // Judged before anything is decoded: no frame is larger than the canvas.
            if (!withinAnimationLimits(png.frameCount, std::uint64_t{png.width} * png.height))
                return animationTooLarge(png.frameCount, png.width, png.height);
            png.frames.reserve(png.frameCount);
        } else if ((type == "PLTE" || type == "tRNS") && !seenData) {
            putChunk(png.sharedChunks, type, data);
        } else if (type == "IDAT") {
            if (!animated)
                return std::nullopt; // a plain PNG, for the still decoder
            seenData = true;
            if (png.stillIsFrame && current == &png.frames.front())
                current->data.insert(current->data.end(), data.begin(), data.end());
        } else if (animated && (type == "fcTL" || type == "fdAT")) {
            if (data.size() < 4 || wordAt(data, 0) != sequence++)
                return damagedAnimation("PNG");
            if (type == "fdAT") {
                if (current == nullptr || !seenData || (png.stillIsFrame && current == &png.frames.front()))
                    return damagedAnimation("PNG");
                current->data.insert(current->data.end(), data.begin() + 4, data.end());
                continue;
            }
            const std::optional<FrameControl> control = readFrameControl(data, png.width, png.height);
            if (!control || png.frames.size() == png.frameCount ||
                (current != nullptr && current->data.empty()))
                return damagedAnimation("PNG");
            if (!seenData) {
                // The still image as the first frame covers the whole canvas.
                if (control->x != 0 || control->y != 0 || control->width != png.width ||
                    control->height != png.height || png.stillIsFrame)
                    return damagedAnimation("PNG");
                png.stillIsFrame = true;
            }
            png.frames.push_back({*control, {}});
            current = &png.frames.back();
        }
    }
    if (!animated)
        return std::nullopt;
    if (!ended || png.frames.size() != png.frameCount || current == nullptr || current->data.empty())
        return damagedAnimation("PNG");
    if (png.frameCount == 1 && png.stillIsFrame)
        return std::nullopt; // its only frame is the still image
    return png;
}

// The frame's pixels, decoded as a PNG of its own.
std::optional<DecodedImage> decodeFrame(const AnimatedPng& png, const PendingFrame& frame) {
    std::vector<std::uint8_t> stream(std::begin(pngSignature), std::end(pngSignature));
    std::vector<std::uint8_t> header;
    putWord(header, frame.control.width);
    putWord(header, frame.control.height);
    header.insert(header.end(), png.header.begin() + 8, png.header.end());
    putChunk(stream, "IHDR", header);
    stream.insert(stream.end(), png.sharedChunks.begin(), png.sharedChunks.end());
    putChunk(stream, "IDAT", frame.data);
    putChunk(stream, "IEND", {});
    Result<DecodedImage> decoded =
        decodeStill({reinterpret_cast<const char*>(stream.data()), stream.size()},
                    withinPixels(std::uint64_t{frame.control.width} * frame.control.height));
    auto* image = std::get_if<DecodedImage>(&decoded);
    if (image == nullptr || image->width != frame.control.width || image->height != frame.control.height)
        return std::nullopt;
    return std::move(*image);
}

// Straight-alpha "over", rounded to nearest: the frame's pixel in front of the canvas's.
void blendOver(const std::uint8_t* front, std::uint8_t* back) {
    const std::uint32_t frontAlpha = front[3], backAlpha = back[3];
    if (frontAlpha == 255 || backAlpha == 0) {
        std::memcpy(back, front, 4);
        return;
    }
    if (frontAlpha == 0)
        return;
    // Both alphas are scaled by 255 here, so the sums stay exact.
    const std::uint32_t frontWeight = frontAlpha * 255, backWeight = backAlpha * (255 - frontAlpha);
    const std::uint32_t total = frontWeight + backWeight;
    for (int channel = 0; channel < 3; ++channel)
        back[channel] = static_cast<std::uint8_t>(
            (front[channel] * frontWeight + back[channel] * backWeight + total / 2) / total);
    back[3] = static_cast<std::uint8_t>((total + 127) / 255);
}

void drawFrame(const FrameControl& control, const std::uint8_t* pixels, std::uint32_t canvasWidth,
               std::vector<std::uint8_t>& canvas) {
    for (std::uint32_t row = 0; row < control.height; ++row) {
        const std::uint8_t* from = pixels + std::size_t{row} * control.width * 4;
        std::uint8_t* to = &canvas[((std::size_t{control.y} + row) * canvasWidth + control.x) * 4];
        if (control.blend == Blend::Source) {
            std::memcpy(to, from, std::size_t{control.width} * 4);
            continue;
        }
        for (std::uint32_t column = 0; column < control.width; ++column)
            blendOver(from + 4 * column, to + 4 * column);
    }
}

void clearRegion(const FrameControl& control, std::uint32_t canvasWidth, std::vector<std::uint8_t>& canvas) {
    for (std::uint32_t row = 0; row < control.height; ++row)
        std::fill_n(&canvas[((std::size_t{control.y} + row) * canvasWidth + control.x) * 4],
                    std::size_t{control.width} * 4, 0);
}

} // namespace

std::optional<Result<Animation>> decodeAnimatedPng(std::span<const char> file, const SizeJudge& judge) {
    const std::span<const std::uint8_t> bytes{reinterpret_cast<const std::uint8_t*>(file.data()),
                                              file.size()};
    std::optional<Result<AnimatedPng>> read = readChunks(bytes);
    if (!read)
        return std::nullopt;
    if (const Failure* failure = std::get_if<Failure>(&*read))
        return *failure;
    AnimatedPng& png = std::get<AnimatedPng>(*read);
    if (Result<> judged = judge(png.width, png.height);
        const Failure* failure = std::get_if<Failure>(&judged))
        return *failure;
    Animation animation{png.width, png.height, png.plays, {}};
    std::vector<std::uint8_t> canvas(std::size_t{png.width} * png.height * 4);
    for (PendingFrame& frame : png.frames) {
        const std::optional<DecodedImage> pixels = decodeFrame(png, frame);
        if (!pixels)
            return damagedAnimation("PNG");
        frame.data = {};
        // Restoring what was before the first frame clears it, as the format asks.
        const Disposal disposal = frame.control.disposal;
        std::vector<std::uint8_t> before;
        if (disposal == Disposal::Previous)
            before = canvas;
        drawFrame(frame.control, pixels->rgba.data(), png.width, canvas);
        animation.frames.push_back({canvas, frame.control.delayNumerator, frame.control.delayDenominator});
        if (disposal == Disposal::Background)
            clearRegion(frame.control, png.width, canvas);
        else if (disposal == Disposal::Previous)
            canvas = std::move(before);
    }
    return animation;
}

} // namespace tessera::codecs

// GIF through giflib, still or animated: frames drawn with their own or the global palette,
// deinterlaced, with the transparent index leaving the canvas as it was, and disposed of as the
// next frame's graphic control says: kept, cleared to transparent black (browsers ignore the
// background colour) or restored to the canvas before the frame.
#include "formats.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>
#include <optional>
#include <string>

namespace tessera::codecs {
namespace {

struct GifInput {
    std::span<const char> bytes;
    std::size_t at = 0;
};

int readGifBytes(GifFileType* gif, GifByteType* out, int length) {
    auto& input = *static_cast<GifInput*>(gif->UserData);
    const std::size_t count =
        std::min(static_cast<std::size_t>(std::max(length, 0)), input.bytes.size() - input.at);
    std::memcpy(out, input.bytes.data() + input.at, count);
    input.at += count;
    return static_cast<int>(count);
}

struct GifFile {
    GifFileType* file = nullptr;
    GifFile(const GifFile&) = delete;
    GifFile& operator=(const GifFile&) = delete;
    explicit GifFile(GifInput& input) {
        int error = 0;
        file = DGifOpen(&input, readGifBytes, &error);
    }
    ~GifFile() {
        int error = 0;
        if (file != nullptr)
            DGifCloseFile(file, &error);
    }
};

// The frame's rectangle clipped to the canvas, as [left, right) x [top, bottom).
struct Region {
    std::uint32_t left = 0, top = 0, right = 0, bottom = 0;
};

Region clipToCanvas(const GifImageDesc& image, std::uint32_t width, std::uint32_t height) {
    const auto clip = [](int start, int size, std::uint32_t limit) {
        const auto low = static_cast<std::uint32_t>(std::clamp<long>(start, 0, limit));
        const auto high = static_cast<std::uint32_t>(std::clamp<long>(long{start} + size, 0, limit));
        return std::pair{low, std::max(low, high)};
    };
    const auto [left, right] = clip(image.Left, image.Width, width);
    const auto [top, bottom] = clip(image.Top, image.Height, height);
    return {left, top, right, bottom};
}

// Reads one frame's indices row by row (interlaced rows come in four passes) and draws them.
bool drawGifFrame(GifFileType* gif, const ColorMapObject& palette, int transparentIndex, Animation& animation,
                  std::vector<std::uint8_t>& canvas) {
    const GifImageDesc& image = gif->Image;
    if (image.Width <= 0 || image.Height <= 0)
        return false;
    std::vector<GifPixelType> line(static_cast<std::size_t>(image.Width));
    constexpr int passStart[] = {0, 4, 2, 1};
    constexpr int passStep[] = {8, 8, 4, 2};
    const int passes = image.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass)
        for (int row = image.Interlace ? passStart[pass] : 0; row < image.Height;
             row += image.Interlace ? passStep[pass] : 1) {
            if (DGifGetLine(gif, line.data(), image.Width) == GIF_ERROR)
                return false;
            const long y = long{image.Top} + row;
            if (y < 0 || y >= static_cast<long>(animation.height))
                continue;
            for (int column = 0; column < image.Width; ++column) {
                const long x = long{image.Left} + column;
                const int index = line[static_cast<std::size_t>(column)];
                // An index past the palette draws nothing, like the transparent one.
                if (x < 0 || x >= static_cast<long>(animation.width) || index == transparentIndex ||
                    index >= palette.ColorCount)
                    continue;
                std::uint8_t* pixel = &canvas[(static_cast<std::size_t>(y) * animation.width + x) * 4];
                const GifColorType colour = palette.Colors[index];
                pixel[0] = colour.Red;
                pixel[1] = colour.Green;
                pixel[2] = colour.Blue;
                pixel[3] = 255;
            }
        }
    return true;
}

// The application extension that sets the loop count: 0 repeats without end, N repeats N times
// after the first showing.
std::optional<std::uint32_t> readLoopExtension(GifFileType* gif, GifByteType* block) {
    std::optional<std::uint32_t> plays;
    const bool looping = block[0] == 11 && std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
    for (;;) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
            return std::nullopt;
        if (block == nullptr)
            return plays;
        if (looping && block[0] >= 3 && block[1] == 1) {
            const std::uint32_t repeats = block[2] | std::uint32_t{block[3]} << 8;
            plays = repeats == 0 ? 0 : repeats + 1;
        }
    }
}

} // namespace

Result<Animation> decodeGif(std::span<const char> file, const SizeJudge& judge) {
    GifInput input{file};
    const GifFile gif{input};
    if (gif.file == nullptr || gif.file->SWidth < 0 || gif.file->SHeight < 0)
        return Failure{Step::Read, std::string{unreadableImage}};
    // Damage before the first frame is whole is the file's; after it, the animation's.
    const auto damaged = [](const Animation& animation) {
        return animation.frames.empty() ? Failure{Step::Read, std::string{unreadableImage}}
                                        : damagedAnimation("GIF");
    };
    Animation animation;
    animation.width = static_cast<std::uint32_t>(gif.file->SWidth);
    animation.height = static_cast<std::uint32_t>(gif.file->SHeight);
    animation.plays = 1; // without a loop extension a GIF plays once
    const std::uint64_t canvasPixels = std::uint64_t{animation.width} * animation.height;
    if (Result<> judged = judge(animation.width, animation.height);
        const Failure* failure = std::get_if<Failure>(&judged))
        return *failure;
    if (canvasPixels == 0)
        return Failure{Step::Read, std::string{unreadableImage}};
    std::vector<std::uint8_t> canvas(canvasPixels * 4);
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    bool controlPending = false; // a graphic control was read, for a frame still to come
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.file, &record) == GIF_ERROR) {
            // Every frame is whole and only the end marker is missing; a graphic control at the
            // end announced a frame that was cut off.
            if (input.at == file.size() && !animation.frames.empty() && !controlPending)
                break;
            return damaged(animation);
        }
        if (record == TERMINATE_RECORD_TYPE)
            break;
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.file, &code, &block) == GIF_ERROR || block == nullptr)
                return damaged(animation);
            if (code == GRAPHICS_EXT_FUNC_CODE) {
                if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_ERROR)
                    return damaged(animation);
                controlPending = true;
            }
            if (code == APPLICATION_EXT_FUNC_CODE) {
                const std::optional<std::uint32_t> plays = readLoopExtension(gif.file, block);
                if (plays)
                    animation.plays = *plays;
                continue;
            }
            for (;;) { // the rest of any other extension is skipped
                if (DGifGetExtensionNext(gif.file, &block) == GIF_ERROR)
                    return damaged(animation);
                if (block == nullptr)
                    break;
            }
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(gif.file) == GIF_ERROR)
            return damaged(animation);
        // A frame is charged the larger of the canvas and its own rectangle, which is decoded whole.
        const GifImageDesc& image = gif.file->Image;
        const std::uint64_t charged = std::max(canvasPixels, std::uint64_t(std::max(image.Width, 0)) *
                                                                 std::uint64_t(std::max(image.Height, 0)));
        // A first frame within the canvas is a still image, judged with the canvas; from the second
        // frame on, or past the canvas, the animation's limits hold.
        if ((!animation.frames.empty() || charged > canvasPixels) &&
            !withinAnimationLimits(animation.frames.size() + 1, charged))
            // The frames are counted only this far: the rest of the file is not read.
            return animationTooLarge(animation.frames.size() + 1, animation.width, animation.height,
                                     FrameCount::AtLeast);
        const ColorMapObject* palette = image.ColorMap != nullptr ? image.ColorMap : gif.file->SColorMap;
        if (palette == nullptr)
            return damaged(animation);
        const Region region = clipToCanvas(image, animation.width, animation.height);
        std::vector<std::uint8_t> before;
        if (control.DisposalMode == DISPOSE_PREVIOUS)
            before = canvas;
        if (!drawGifFrame(gif.file, *palette, control.TransparentColor, animation, canvas))
            return damaged(animation);
        animation.frames.push_back({canvas, static_cast<std::uint32_t>(control.DelayTime), 100});
        if (control.DisposalMode == DISPOSE_BACKGROUND)
            for (std::uint32_t y = region.top; y < region.bottom; ++y)
                std::fill_n(&canvas[(std::size_t{y} * animation.width + region.left) * 4],
                            std::size_t{region.right - region.left} * 4, 0);
        else if (control.DisposalMode == DISPOSE_PREVIOUS)
            canvas = std::move(before);
        control = {DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        controlPending = false;
    }
    if (animation.frames.empty())
        return damaged(animation);
    return animation;
}

} // namespace tessera::codecs

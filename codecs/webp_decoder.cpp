// WebP in, still or animated, through libwebp's demuxer and animation decoder, which composites
// every frame onto the canvas; a still file is an animation of one frame.
#include "formats.h"

#include <algorithm>
#include <optional>
#include <string>
#include <webp/demux.h>

namespace tessera::codecs {
namespace {

struct WebpDecoder {
    WebPAnimDecoder* decoder = nullptr;
    WebpDecoder(const WebpDecoder&) = delete;
    WebpDecoder& operator=(const WebpDecoder&) = delete;
    explicit WebpDecoder(std::span<const char> file) {
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options))
            return;
        options.color_mode = MODE_RGBA; // straight alpha
        options.use_threads = 0;
        const WebPData data{reinterpret_cast<const std::uint8_t*>(file.data()), file.size()};
        decoder = WebPAnimDecoderNew(&data, &options);
    }
    ~WebpDecoder() { WebPAnimDecoderDelete(decoder); }
};

struct WebpCanvas {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 0;
};

// The canvas's size and the number of frames, from the demuxer alone: the animation decoder
// allocates two canvases as soon as it is made, before anything could judge their size.
std::optional<WebpCanvas> readCanvas(std::span<const char> file) {
    const WebPData data{reinterpret_cast<const std::uint8_t*>(file.data()), file.size()};
    WebPDemuxer* demuxer = WebPDemux(&data);
    if (demuxer == nullptr)
        return std::nullopt;
    const WebpCanvas canvas{WebPDemuxGetI(demuxer, WEBP_FF_CANVAS_WIDTH),
                            WebPDemuxGetI(demuxer, WEBP_FF_CANVAS_HEIGHT),
                            WebPDemuxGetI(demuxer, WEBP_FF_FRAME_COUNT)};
    WebPDemuxDelete(demuxer);
    return canvas;
}

} // namespace

Result<Animation> decodeWebp(std::span<const char> file, const SizeJudge& judge) {
    const std::optional<WebpCanvas> canvas = readCanvas(file);
    if (!canvas || canvas->frames == 0)
        return damagedAnimation("WebP");
    const std::uint64_t canvasPixels = std::uint64_t{canvas->width} * canvas->height;
    if (Result<> judged = judge(canvas->width, canvas->height);
        const Failure* failure = std::get_if<Failure>(&judged))
        return *failure;
    if (canvas->frames > 1 && !withinAnimationLimits(canvas->frames, canvasPixels))
        return animationTooLarge(canvas->frames, canvas->width, canvas->height);
    const WebpDecoder webp{file};
    WebPAnimInfo info{};
    if (webp.decoder == nullptr || !WebPAnimDecoderGetInfo(webp.decoder, &info) ||
        info.canvas_width != canvas->width || info.canvas_height != canvas->height ||
        info.frame_count != canvas->frames)
        return damagedAnimation("WebP");
    Animation animation;
    animation.width = info.canvas_width;
    animation.height = info.canvas_height;
    animation.plays = info.loop_count;
    int previousEnd = 0;
    while (WebPAnimDecoderHasMoreFrames(webp.decoder)) {
        std::uint8_t* pixels = nullptr;
        int end = 0;
        if (!WebPAnimDecoderGetNext(webp.decoder, &pixels, &end))
            return damagedAnimation("WebP");
        animation.frames.push_back({{pixels, pixels + canvasPixels * 4},
                                    static_cast<std::uint32_t>(std::max(end - previousEnd, 0)),
                                    1000});
        previousEnd = end;
    }
    if (animation.frames.size() != info.frame_count)
        return damagedAnimation("WebP");
    return animation;
}

} // namespace tessera::codecs

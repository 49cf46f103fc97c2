// WebP in, still or animated, through libwebp's demuxer and animation decoder, which composites
// every frame onto the canvas; a still file is an animation of one frame.
#include "formats.h"

#include <algorithm>
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

} // namespace

Result<Animation> decodeWebp(std::span<const char> file, const SizeJudge& judge) {
    const WebpDecoder webp{file};
    WebPAnimInfo info{};
    if (webp.decoder == nullptr || !WebPAnimDecoderGetInfo(webp.decoder, &info) || info.frame_count == 0)
        return damagedAnimation("WebP");
    Animation animation;
    animation.width = info.canvas_width;
    animation.height = info.canvas_height;
    animation.plays = info.loop_count;
    const std::uint64_t canvasPixels = std::uint64_t{info.canvas_width} * info.canvas_height;
    if (Result<> judged = judge(animation.width, animation.height);
        const Failure* failure = std::get_if<Failure>(&judged))
        return *failure;
    if (info.frame_count > 1 && !withinAnimationLimits(info.frame_count, canvasPixels))
        return animationTooLarge(info.frame_count, info.canvas_width, info.canvas_height);
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

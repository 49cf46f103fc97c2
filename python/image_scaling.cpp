#include "image_scaling.h"

#include "row_bands.h"
#include "work_threads.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <span>
#include <vector>

namespace tessera::python {
namespace {

// The source words and how they are enlarged. RGB input is opaque. RGBA input goes through the
// command's own conversion: flattened over the background when there is one, else kept with its
// alpha (an image whose pixels are all opaque is enlarged opaque, with the same result). With
// keepAlpha every image is enlarged alpha-aware.
ColourMode sourceWords(const ImageBytes& image, const ScaleRequest& request, std::vector<Pixel>& words) {
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    words.resize(count);
    if (image.channels == 3) {
        for (std::size_t i = 0; i < count; ++i)
            words[i] = opaquePixel(image.bytes[3 * i], image.bytes[3 * i + 1], image.bytes[3 * i + 2]);
        return request.keepAlpha ? ColourMode::WithAlpha : ColourMode::Opaque;
    }
    if (request.keepAlpha) {
        rgbaToPixels(image.bytes, count, words.data());
        return ColourMode::WithAlpha;
    }
    return pixels::convertToWords({image.bytes, count * 4}, request.background, words).mode;
}

// Enlarges the bands the batch command would cut the image into, on up to `jobs` threads, the
// calling one included. Each thread takes the next band left until none is.
template <typename EnlargeBand>
void enlargeInBands(const ImageBytes& image, const ScaleRequest& request, EnlargeBand enlargeBand) {
    const std::uint64_t targetPixels =
        std::uint64_t(image.width) * request.factor * image.height * request.factor;
    const std::vector<pixels::RowBand> bands = pixels::planBands(image.height, targetPixels, request.jobs);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t band = next++; band < bands.size(); band = next++)
            enlargeBand(bands[band]);
    };
    runOnThreads(
        static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(request.jobs), bands.size())), work);
}

// Writes red, green and blue of each word over the words' own storage, front to back: the three
// bytes of word i end before word i + 1 begins, so every word is read before it is overwritten.
void packOpaqueRgb(const Pixel* words, std::size_t count, std::uint8_t* rgb) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::array<std::uint8_t, 4> bytes = opaqueRgba(words[i]);
        rgb[3 * i] = bytes[0];
        rgb[3 * i + 1] = bytes[1];
        rgb[3 * i + 2] = bytes[2];
    }
}

} // namespace

int outputChannels(int inputChannels, const ScaleRequest& request) {
    return (inputChannels == 4 && !request.background) || request.keepAlpha ? 4 : 3;
}

void scaleImage(const ImageBytes& image, const ScaleRequest& request, std::uint8_t* output) {
    std::vector<Pixel> source;
    const ColourMode mode = sourceWords(image, request, source);
    auto* target = reinterpret_cast<Pixel*>(output);
    const std::size_t targetCount =
        static_cast<std::size_t>(image.width) * request.factor * image.height * request.factor;
    enlargeInBands(image, request, [&](pixels::RowBand rows) {
        ScaleOptions options = request.edges;
        options.colours = mode;
        options.rowBegin = rows.begin;
        options.rowEnd = rows.end;
        upscaleWithOptions(request.factor, source.data(), target, image.width, image.height, request.settings,
                           options);
    });
    if (outputChannels(image.channels, request) == 4)
        pixels::convertToRgba(mode, {target, targetCount}, output);
    else
        packOpaqueRgb(target, targetCount, output);
}

} // namespace tessera::python

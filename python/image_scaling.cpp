#include "image_scaling.h"

#include "scale_pixels.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <span>
#include <thread>
#include <vector>

namespace tessera::python {
namespace {

std::vector<Pixel> sourceWords(const ImageBytes& image, const ScaleRequest& request) {
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    std::vector<Pixel> words(count);
    if (image.channels == 3) {
        for (std::size_t i = 0; i < count; ++i)
            words[i] = opaquePixel(image.bytes[3 * i], image.bytes[3 * i + 1], image.bytes[3 * i + 2]);
    } else if (request.background) {
        tool::flattenToWords({image.bytes, count * 4}, *request.background, words);
    } else {
        rgbaToPixels(image.bytes, count, words.data());
    }
    return words;
}

// Enlarges the bands the batch command would cut the image into, on up to `jobs` threads, the
// calling one included. Each thread takes the next band left until none is.
template <typename EnlargeBand>
void enlargeInBands(const ImageBytes& image, const ScaleRequest& request, EnlargeBand enlargeBand) {
    const std::uint64_t targetPixels =
        std::uint64_t(image.width) * request.factor * image.height * request.factor;
    const std::vector<tool::RowBand> bands = tool::planBands(image.height, targetPixels, request.jobs);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t band = next++; band < bands.size(); band = next++)
            enlargeBand(bands[band]);
    };
    {
        const std::size_t helpers = std::min<std::size_t>(request.jobs, bands.size()) - 1;
        std::vector<std::jthread> threads;
        threads.reserve(helpers);
        for (std::size_t i = 0; i < helpers; ++i)
            threads.emplace_back(work);
        work();
    }
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
    return inputChannels == 4 && !request.background ? 4 : 3;
}

void scaleImage(const ImageBytes& image, const ScaleRequest& request, std::uint8_t* output) {
    const std::vector<Pixel> source = sourceWords(image, request);
    auto* target = reinterpret_cast<Pixel*>(output);
    const std::size_t targetCount =
        static_cast<std::size_t>(image.width) * request.factor * image.height * request.factor;
    const auto enlarge = [&](auto entry) {
        enlargeInBands(image, request, [&](tool::RowBand rows) {
            entry(request.factor, source.data(), target, image.width, image.height, request.settings,
                  rows.begin, rows.end);
        });
    };
    if (outputChannels(image.channels, request) == 4) {
        enlarge(upscaleBandWithAlpha);
        pixelsToRgba(target, targetCount, output);
    } else {
        enlarge(upscaleBand);
        packOpaqueRgb(target, targetCount, output);
    }
}

} // namespace tessera::python

#include "png_encoder.h"
#include "still_decoder.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace tessera;
using namespace tessera::codecs;

struct EncoderCase {
    const char* name;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t colours; // distinct pixels, one per column and row step
    bool translucent;      // some of them with alpha below 255, one of them 0
    int colourType;        // 2 RGB, 3 palette, 6 RGBA
    int bitDepth;
};

// `colours` distinct pixels spread over the image, so that every one of them appears.
std::vector<std::uint8_t> imageOf(const EncoderCase& c) {
    std::vector<std::uint8_t> rgba;
    for (std::uint32_t y = 0; y < c.height; ++y)
        for (std::uint32_t x = 0; x < c.width; ++x) {
            const std::uint32_t i = (y * c.width + x) % c.colours;
            const auto alpha = static_cast<std::uint8_t>(!c.translucent ? 255
                                                         : i % 3 == 0   ? 0
                                                         : i % 3 == 1   ? 100
                                                                        : 255);
            rgba.insert(rgba.end(), {static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(i >> 8),
                                     static_cast<std::uint8_t>(i * 13 + 5), alpha});
        }
    return rgba;
}

std::string chunkTypes(std::span<const std::uint8_t> png) {
    std::string types;
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const std::size_t length = std::size_t{png[at]} << 24 | std::size_t{png[at + 1]} << 16 |
                                   std::size_t{png[at + 2]} << 8 | png[at + 3];
        types += std::string(reinterpret_cast<const char*>(&png[at + 4]), 4) + " ";
        at += 12 + length;
    }
    return types;
}

TEST(EncodePng, SmallestColourTypeThatKeepsEveryPixelAndNothingButTheImage) {
    const EncoderCase cases[] = {
        {"two colours in 1 bit, a row of 13 not filling its last byte", 13, 3, 2, false, 3, 1},
        {"four colours with transparency in 2 bits", 7, 2, 4, true, 3, 2},
        {"sixteen colours in 4 bits", 5, 9, 16, false, 3, 4},
        {"256 colours with transparency in 8 bits", 64, 8, 256, true, 3, 8},
        {"257 opaque colours as RGB", 300, 2, 257, false, 2, 8},
        {"257 colours with transparency as RGBA", 300, 2, 257, true, 6, 8},
        {"a single pixel", 1, 1, 1, true, 3, 1},
    };
    for (const EncoderCase& c : cases) {
        const std::vector<std::uint8_t> rgba = imageOf(c);
        const Result<std::vector<std::uint8_t>> result = encodePng(rgba, c.width, c.height);
        const auto* png = std::get_if<std::vector<std::uint8_t>>(&result);
        ASSERT_NE(png, nullptr) << c.name;
        const std::span<const std::uint8_t> file = *png;
        ASSERT_GT(file.size(), 33u) << c.name;
        EXPECT_EQ(file[24], c.bitDepth) << c.name;
        EXPECT_EQ(file[25], c.colourType) << c.name;
        const std::string palette = c.colourType != 3 ? "" : c.translucent ? "PLTE tRNS " : "PLTE ";
        EXPECT_EQ(chunkTypes(file), "IHDR " + palette + "IDAT IEND ") << c.name;

        const Result<DecodedImage> decoded =
            decodeStill({reinterpret_cast<const char*>(file.data()), file.size()}, withinPixels(UINT64_MAX));
        const DecodedImage* image = std::get_if<DecodedImage>(&decoded);
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(image->width, c.width) << c.name;
        EXPECT_EQ(image->height, c.height) << c.name;
        EXPECT_EQ(image->rgba, rgba) << c.name;
    }
}

TEST(EncodePng, RefusesAnImageItIsNotGiven) {
    const std::vector<std::uint8_t> rgba(4 * 6, 255);
    for (const auto& [width, height] : {std::pair{0u, 5u}, std::pair{2u, 4u}}) {
        const Result<std::vector<std::uint8_t>> result = encodePng(rgba, width, height);
        const Failure* failure = std::get_if<Failure>(&result);
        ASSERT_NE(failure, nullptr) << width << " x " << height;
        EXPECT_EQ(failure->step, Step::Write);
    }
}

} // namespace

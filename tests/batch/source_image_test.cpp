#include "crafted_images.h"
#include "image_decoder.h"
#include "png_encoder.h"
#include "source_image.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace tessera::tool;
using namespace tessera::pixels;

std::string pngOf(const std::vector<std::uint8_t>& rgba, std::uint32_t width) {
    const Result<EncodedPng> png =
        encodePng(rgba, width, static_cast<std::uint32_t>(rgba.size() / 4 / width));
    const std::span<const std::uint8_t> bytes = std::get<EncodedPng>(png).view();
    return {bytes.begin(), bytes.end()};
}

TEST(LoadSourceImage, JudgesTheDeclaredSizeThenConvertsWhatItDecodes) {
    // A translucent pixel, an opaque one, and a transparent one with colour bits.
    const std::string glass = pngOf({200, 100, 0, 128, 1, 2, 3, 255, 9, 8, 7, 0}, 3);
    struct Case {
        const char* name;
        std::string file;
        int factor;
        std::optional<Rgb> background;
        Result<SourceImage> expected;
    };
    const Case cases[] = {
        {"not an image", "not an image\n", 4, std::nullopt,
         Failure{Step::Read, std::string{unreadableImage}}},
        {"a header declaring too much, refused before decoding", tessera::test::pngHeader(10000, 10000), 2,
         std::nullopt,
         Failure{Step::Enlarge, "the image is too large: 10000 x 10000 enlarged by 2 exceeds the "
                                "limit of 268435456 output pixels"}},
        {"a header alone of a size that can be enlarged", tessera::test::pngHeader(6, 5), 2, std::nullopt,
         Failure{Step::Read, std::string{unreadableImage}}},
        {"opaque", pngOf({1, 2, 3, 255, 250, 251, 252, 255}, 2), 5, std::nullopt,
         SourceImage{2, 1, {0xFF010203u, 0xFFFAFBFCu}, {ScaleMode::Opaque, false}}},
        {"translucent keeps its alpha", glass, 3, std::nullopt,
         SourceImage{3, 1, {0x80C86400u, 0xFF010203u, 0x00090807u}, {ScaleMode::WithAlpha, false}}},
    };
    for (const Case& c : cases) {
        const Result<SourceImage> loaded =
            loadSourceImage({c.file.data(), c.file.size()}, c.factor, c.background);
        ASSERT_EQ(loaded.index(), c.expected.index()) << c.name;
        if (const Failure* failure = std::get_if<Failure>(&loaded)) {
            EXPECT_EQ(*failure, std::get<Failure>(c.expected)) << c.name;
            continue;
        }
        const SourceImage& image = std::get<SourceImage>(loaded);
        const SourceImage& expected = std::get<SourceImage>(c.expected);
        EXPECT_EQ(image.width, expected.width) << c.name;
        EXPECT_EQ(image.height, expected.height) << c.name;
        EXPECT_EQ(image.pixels, expected.pixels) << c.name;
        EXPECT_EQ(image.conversion.mode, expected.conversion.mode) << c.name;
        EXPECT_EQ(image.conversion.flattened, expected.conversion.flattened) << c.name;
    }
}

} // namespace

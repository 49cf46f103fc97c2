// The path from a file's bytes (or RGBA pixels) to what is enlarged: the size judged, the file
// decoded and converted under the request.
#include "crafted_images.h"
#include "enlarge.h"
#include "png_encoder.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace tessera;
using namespace tessera::pixels;

std::string pngOf(const std::vector<std::uint8_t>& rgba, std::uint32_t width) {
    const auto png = std::get<std::vector<std::uint8_t>>(
        codecs::encodePng(rgba, width, static_cast<std::uint32_t>(rgba.size() / 4 / width)));
    return {png.begin(), png.end()};
}

struct Expected {
    std::int32_t width;
    std::int32_t height;
    std::vector<Pixel> source;
    Conversion conversion;
};

TEST(OpenFile, JudgesTheDeclaredSizeThenConvertsWhatItDecodes) {
    // A translucent pixel, an opaque one, and a transparent one with colour bits.
    const std::string glass = pngOf({200, 100, 0, 128, 1, 2, 3, 255, 9, 8, 7, 0}, 3);
    struct Case {
        const char* name;
        std::string file;
        int factor;
        std::uint64_t budget;
        std::optional<Rgb> background;
        Result<Expected> expected;
    };
    const Case cases[] = {
        {"not an image", "not an image\n", 4, maxTargetPixels, std::nullopt,
         Failure{Step::Read, std::string{codecs::unreadableImage}}},
        {"a header declaring too much, refused before decoding", test::pngHeader(10000, 10000), 2,
         maxTargetPixels, std::nullopt,
         Failure{Step::Enlarge, "the image is too large: 10000 x 10000 enlarged by 2 exceeds the "
                                "limit of 268,435,456 output pixels (16,384 x 16,384)"}},
        {"a header over the page's budget", test::pngHeader(4097, 4096), 2, maxPageTargetPixels, std::nullopt,
         Failure{Step::Enlarge, "the image is too large: 4097 x 4096 enlarged by 2 exceeds the "
                                "limit of 67,108,864 output pixels (8,192 x 8,192)"}},
        {"a header alone of a size that can be enlarged", test::pngHeader(6, 5), 2, maxTargetPixels,
         std::nullopt, Failure{Step::Read, std::string{codecs::unreadableImage}}},
        {"opaque", pngOf({1, 2, 3, 255, 250, 251, 252, 255}, 2), 5, maxTargetPixels, std::nullopt,
         Expected{2, 1, {0xFF010203u, 0xFFFAFBFCu}, {ColourMode::Opaque, false}}},
        {"translucent keeps its alpha", glass, 3, maxTargetPixels, std::nullopt,
         Expected{3, 1, {0x80C86400u, 0xFF010203u, 0x00090807u}, {ColourMode::WithAlpha, false}}},
        {"translucent over a background", glass, 3, maxTargetPixels, Rgb{0, 0, 0},
         Expected{3, 1, {0xFF643200u, 0xFF010203u, 0xFF000000u}, {ColourMode::Opaque, true}}},
    };
    for (const Case& c : cases) {
        enlarge::Request request;
        request.factor = c.factor;
        request.background = c.background;
        request.maxTargetPixels = c.budget;
        const Result<enlarge::Opened> opened = enlarge::openFile({c.file.data(), c.file.size()}, request);
        ASSERT_EQ(opened.index(), c.expected.index()) << c.name;
        if (const Failure* failure = std::get_if<Failure>(&opened)) {
            EXPECT_EQ(*failure, std::get<Failure>(c.expected)) << c.name;
            continue;
        }
        const auto& image = std::get<enlarge::StillImage>(std::get<enlarge::Opened>(opened).image);
        const Expected& expected = std::get<Expected>(c.expected);
        EXPECT_EQ(image.width, expected.width) << c.name;
        EXPECT_EQ(image.height, expected.height) << c.name;
        EXPECT_EQ(image.source, expected.source) << c.name;
        EXPECT_EQ(image.conversion.mode, expected.conversion.mode) << c.name;
        EXPECT_EQ(image.conversion.flattened, expected.conversion.flattened) << c.name;
    }
}

TEST(OpenPixels, JudgesTheSizeAndTheBytesThenConvertsAsAFile) {
    const std::vector<std::uint8_t> glass{200, 100, 0, 128, 1, 2, 3, 255, 9, 8, 7, 0};
    struct Case {
        const char* name;
        std::uint32_t width;
        std::uint32_t height;
        std::vector<std::uint8_t> rgba;
        std::optional<Failure> failure;
    };
    const Case cases[] = {
        {"empty", 0, 0, {}, Failure{Step::Enlarge, "the image is empty"}},
        {"over the budget, judged before the bytes",
         20000,
         20000,
         {},
         Failure{Step::Enlarge, "the image is too large: 20000 x 20000 enlarged by 2 exceeds the "
                                "limit of 268,435,456 output pixels (16,384 x 16,384)"}},
        {"a byte short",
         3,
         1,
         {glass.begin(), glass.end() - 1},
         Failure{Step::Read, "the pixels are not width x height x 4 bytes of RGBA"}},
        {"translucent, as the same pixels in a file", 3, 1, glass, std::nullopt},
    };
    const std::string file = pngOf(glass, 3);
    for (const Case& c : cases) {
        enlarge::Request request;
        request.factor = 2;
        Result<enlarge::Opened> opened = enlarge::openPixels({c.width, c.height, c.rgba}, request);
        if (c.failure) {
            ASSERT_TRUE(std::holds_alternative<Failure>(opened)) << c.name;
            EXPECT_EQ(std::get<Failure>(opened), *c.failure) << c.name;
            continue;
        }
        const auto& image = std::get<enlarge::StillImage>(std::get<enlarge::Opened>(opened).image);
        const Result<enlarge::Opened> openedFile = enlarge::openFile({file.data(), file.size()}, request);
        const auto& fromFile = std::get<enlarge::StillImage>(std::get<enlarge::Opened>(openedFile).image);
        EXPECT_EQ(image.source, fromFile.source) << c.name;
        EXPECT_EQ(image.conversion.mode, fromFile.conversion.mode) << c.name;
    }
}

// A band enlarged into a target of its own rows holds the RGBA bytes the whole target holds there,
// in both colour modes and with the edges' options.
TEST(EnlargeBand, IntoATargetOfItsOwnGivesTheWholeTargetsBytes) {
    for (const std::uint8_t alpha : {std::uint8_t{255}, std::uint8_t{90}}) {
        std::vector<std::uint8_t> rgba;
        for (std::uint32_t i = 0; i < 9 * 7; ++i)
            rgba.insert(rgba.end(),
                        {static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(i * i),
                         static_cast<std::uint8_t>(i % 3 * 120), i % 5 == 0 ? alpha : std::uint8_t{255}});
        enlarge::Request request;
        request.factor = 3;
        request.edges = {.edges = EdgeMode::Wrap, .cellWidth = 4, .cellHeight = 3};
        auto opened = std::get<enlarge::Opened>(enlarge::openPixels({9, 7, rgba}, request));
        auto& still = std::get<enlarge::StillImage>(opened.image);
        enlarge::enlargeBand(request, still, {0, still.height});
        const std::size_t rowWords = 9 * 3;
        std::vector<Pixel> band(3 * 3 * rowWords);
        enlarge::enlargeBand(request, still, {2, 5}, band.data());
        EXPECT_TRUE(std::equal(band.begin(), band.end(), still.target.get() + 2 * 3 * rowWords))
            << int{alpha};
    }
}

} // namespace

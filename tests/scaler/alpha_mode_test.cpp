// What the alpha-aware enlargement promises sprite makers, checked on whole images, and
// both modes against the plain second implementation on the real sprites.
#include "instruction_sets.h"
#include "reference_scaler.h"
#include "test_images.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <stb/stb_image.h>
#include <string>
#include <vector>

namespace tessera {
namespace {

using Entry = void (*)(std::int32_t, const Pixel*, Pixel*, std::int32_t, std::int32_t, const ScaleSettings&,
                       std::int32_t);

std::vector<Pixel> enlarged(Entry entry, const test::Image& image, int factor) {
    std::vector<Pixel> target(image.pixels.size() * factor * factor);
    entry(factor, image.pixels.data(), target.data(), image.width, image.height, ScaleSettings{}, INT32_MAX);
    return target;
}

// A disc, a diagonal bar and a notch of one colour on a background that is transparent
// but whose colour bits are noise, as sprites exported by many tools are.
test::Image spriteOnNoise(std::mt19937& random, Pixel colour) {
    return test::makeImage(24, 20, [&](std::int32_t x, std::int32_t y) {
        const bool disc = (x - 8) * (x - 8) + (y - 8) * (y - 8) <= 30;
        const bool bar = x - y >= 8 && x - y <= 10 && x > 12;
        const bool notch = x >= 4 && x <= 6 && y >= 15;
        return disc || bar || notch ? colour : static_cast<Pixel>(random() & 0x00FFFFFFu);
    });
}

class AlphaSprite : public testing::TestWithParam<int> {};

TEST_P(AlphaSprite, OpaqueImagesKeepTheOpaqueColoursWithFullAlpha) {
    const int factor = GetParam();
    std::mt19937 random(11);
    const Pixel colours[] = {0xFF000000u, 0xFFFFFFFFu, 0xFF3050A0u, 0xFF3252A2u, 0xFFE0C020u};
    const test::Image image =
        test::makeImage(31, 17, [&](auto, auto) { return colours[random() % std::size(colours)]; });
    const std::vector<Pixel> opaque = enlarged(upscale, image, factor);
    const std::vector<Pixel> alpha = enlarged(upscaleWithAlpha, image, factor);
    for (std::size_t i = 0; i < opaque.size(); ++i)
        ASSERT_EQ(alpha[i], opaque[i] | 0xFF000000u) << "element " << i;
}

TEST_P(AlphaSprite, TransparentColourBitsChangeNothing) {
    const int factor = GetParam();
    std::mt19937 random(12);
    const test::Image first = spriteOnNoise(random, 0xC0E04020u);
    const test::Image second = spriteOnNoise(random, 0xC0E04020u);
    ASSERT_NE(first.pixels, second.pixels);
    EXPECT_EQ(enlarged(upscaleWithAlpha, first, factor), enlarged(upscaleWithAlpha, second, factor));
}

TEST_P(AlphaSprite, OneColourSpriteHasNoHaloAndASmoothSilhouette) {
    const int factor = GetParam();
    std::mt19937 random(13);
    const Pixel colour = 0xFF2A9D5Cu;
    const std::vector<Pixel> out = enlarged(upscaleWithAlpha, spriteOnNoise(random, colour), factor);
    int partlyCovered = 0;
    for (const Pixel p : out) {
        if (p == 0)
            continue;
        ASSERT_EQ(p & 0x00FFFFFFu, colour & 0x00FFFFFFu) << std::hex << p;
        partlyCovered += p >> 24 != 255;
    }
    EXPECT_GT(partlyCovered, 0) << "the outline is not smoothed";
}

INSTANTIATE_TEST_SUITE_P(Factors, AlphaSprite, testing::Values(2, 3, 4, 5));

// Every sprite of the test set, in both modes at every factor and on every instruction
// set's build, word for word against the plain implementation.
class RealSprites : public test::OnEveryInstructionSet<const char*> {};

TEST_P(RealSprites, MatchThePlainImplementationInBothModes) {
    const std::string path = std::string(TESSERA_TEST_DATA) + "/" + param();
    int width = 0, height = 0, channels = 0;
    std::uint8_t* rgba = stbi_load(path.c_str(), &width, &height, &channels, 4);
    ASSERT_NE(rgba, nullptr) << path;
    std::vector<Pixel> straight(static_cast<std::size_t>(width) * height), opaque(straight.size());
    rgbaToPixels(rgba, straight.size(), straight.data());
    rgbaToOpaquePixels(rgba, opaque.size(), opaque.data());
    stbi_image_free(rgba);

    const ScaleSettings settings;
    for (const bool alpha : {false, true}) {
        const std::vector<Pixel>& source = alpha ? straight : opaque;
        for (int factor = 2; factor <= 5; ++factor) {
            std::vector<Pixel> got(source.size() * factor * factor), expected(got.size());
            (alpha ? upscaleWithAlpha : upscale)(factor, source.data(), got.data(), width, height, settings,
                                                 INT32_MAX);
            reference::upscale(factor, source.data(), expected.data(), width, height, settings, 0, INT32_MAX,
                               alpha);
            const auto mismatch = std::mismatch(got.begin(), got.end(), expected.begin());
            EXPECT_TRUE(mismatch.first == got.end()) << (alpha ? "alpha" : "opaque") << " factor " << factor
                                                     << ": element " << mismatch.first - got.begin();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    TestSet, RealSprites,
    testing::Combine(testing::Values("cdda_bears_zombie_horse_20.png", "cdda_bears_zombie_pig_20.png",
                                     "cdda_hoder_apple_tree_16.png", "cdda_hoder_cat_16.png",
                                     "cdda_hoder_zombie_crawler_16.png", "cdda_mshock_streetlight_64x80.png",
                                     "cdda_mshock_zombie_biter_32.png", "cdda_uc_cat_calico_32.png",
                                     "cdda_uc_crow_32.png", "cdda_uc_dog_gshepherd_32.png",
                                     "cdda_uc_door_closed_32.png", "cdda_uc_fire_32.png",
                                     "cdda_uc_zombie_child_32.png", "sheet_cdda_uc_1024.png"),
                     test::everyInstructionSet),
    test::namedWithSet<const char*>([](const char* name) {
        std::string id = name;
        id = id.substr(0, id.find('.'));
        return id;
    }));

} // namespace
} // namespace tessera

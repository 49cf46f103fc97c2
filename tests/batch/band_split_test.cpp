// Property: enlarging an image band by band with upscaleBand gives exactly the words of one
// whole-image upscale call, for every factor, every image and every split into bands,
// whatever the order in which the bands run and on whichever threads.
#include "still_decoder.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <tessera/scaler.h>
#include <thread>
#include <vector>

namespace {

constexpr Pixel untouched = 0x5A5A5A5Au; // no source word below has this value

struct Image {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Pixel> pixels;
};

struct Band {
    std::int32_t begin;
    std::int32_t end;
};

// Few colours give long edges and flat areas, where corners are graded; noise exercises the
// colour measure everywhere. Words carry alpha 255 as the editor's canvas does, except in
// some images where the top byte varies, which the scaler compares but does not measure.
Image randomImage(std::mt19937& random) {
    std::uniform_int_distribution<int> side(1, 24);
    Image image;
    image.width = side(random);
    image.height = side(random);
    const int style = std::uniform_int_distribution<int>(0, 3)(random);
    std::vector<Pixel> palette(static_cast<std::size_t>(std::uniform_int_distribution<int>(2, 5)(random)));
    for (Pixel& colour : palette)
        colour = 0xFF000000u | (random() & 0xFFFFFFu);
    std::uniform_int_distribution<std::size_t> pick(0, palette.size() - 1);
    for (std::int32_t y = 0; y < image.height; ++y)
        for (std::int32_t x = 0; x < image.width; ++x) {
            Pixel word = 0;
            switch (style) {
            case 0: // scattered palette colours
                word = palette[pick(random)];
                break;
            case 1: // a diagonal edge with a few stray dots
                word = palette[(x * 3 > y * 2) ? 0 : 1];
                if (random() % 11 == 0)
                    word = palette[pick(random)];
                break;
            case 2: // noise on every channel
                word = 0xFF000000u | (random() & 0xFFFFFFu);
                break;
            default: // palette colours with a varying top byte
                word = (palette[pick(random)] & 0xFFFFFFu) | (random() % 2 == 0 ? 0xFF000000u : 0x00000000u);
                break;
            }
            image.pixels.push_back(word == untouched ? word + 1 : word);
        }
    return image;
}

// Random cut points, with one-row bands made likely.
std::vector<Band> randomBands(std::mt19937& random, std::int32_t height) {
    std::vector<Band> bands;
    std::int32_t begin = 0;
    while (begin < height) {
        const std::int32_t left = height - begin;
        const std::int32_t rows =
            random() % 3 == 0 ? 1 : std::uniform_int_distribution<std::int32_t>(1, left)(random);
        bands.push_back({begin, begin + std::min(rows, left)});
        begin += std::min(rows, left);
    }
    return bands;
}

std::vector<Pixel> wholeImage(int factor, const Image& image) {
    std::vector<Pixel> target(image.pixels.size() * static_cast<std::size_t>(factor * factor), untouched);
    upscale(factor, image.pixels.data(), target.data(), image.width, image.height, ScaleSettings{},
            INT32_MAX);
    return target;
}

std::string describe(int factor, const Image& image, const std::vector<Band>& bands) {
    std::ostringstream text;
    text << "factor " << factor << ", " << image.width << " x " << image.height << ", bands";
    for (const Band& band : bands)
        text << " [" << band.begin << ", " << band.end << ")";
    return text.str();
}

// Index of the first differing word, or -1.
std::ptrdiff_t firstDifference(const std::vector<Pixel>& a, const std::vector<Pixel>& b) {
    const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return mismatch.first == a.end() ? -1 : mismatch.first - a.begin();
}

class BandSplit : public testing::TestWithParam<int> {};

TEST_P(BandSplit, RandomImagesAndSplitsInRandomOrderMatchOneCall) {
    const int factor = GetParam();
    std::mt19937 random(static_cast<std::mt19937::result_type>(factor * 7919));
    for (int round = 0; round < 150; ++round) {
        const Image image = randomImage(random);
        const std::vector<Pixel> expected = wholeImage(factor, image);
        std::vector<Band> bands = randomBands(random, image.height);
        const std::string what = describe(factor, image, bands);
        std::shuffle(bands.begin(), bands.end(), random);

        std::vector<Pixel> banded(expected.size(), untouched);
        for (const Band& band : bands)
            upscaleBand(factor, image.pixels.data(), banded.data(), image.width, image.height,
                        ScaleSettings{}, band.begin, band.end);
        ASSERT_EQ(firstDifference(banded, expected), -1) << what;
    }
}

TEST_P(BandSplit, OneRowBandsEverywhere) {
    const int factor = GetParam();
    std::mt19937 random(static_cast<std::mt19937::result_type>(factor * 104729));
    for (int round = 0; round < 40; ++round) {
        const Image image = randomImage(random);
        const std::vector<Pixel> expected = wholeImage(factor, image);
        std::vector<Pixel> banded(expected.size(), untouched);
        for (std::int32_t row = image.height - 1; row >= 0; --row)
            upscaleBand(factor, image.pixels.data(), banded.data(), image.width, image.height,
                        ScaleSettings{}, row, row + 1);
        ASSERT_EQ(firstDifference(banded, expected), -1)
            << "factor " << factor << ", " << image.width << " x " << image.height;
    }
}

TEST_P(BandSplit, ABandWritesItsOwnTargetRowsOnly) {
    // Bands of one target run concurrently, so no band may touch another band's rows, not even
    // for working storage.
    const int factor = GetParam();
    std::mt19937 random(static_cast<std::mt19937::result_type>(factor * 15485863));
    for (int round = 0; round < 100; ++round) {
        const Image image = randomImage(random);
        const std::vector<Pixel> expected = wholeImage(factor, image);
        const std::int32_t begin = std::uniform_int_distribution<std::int32_t>(0, image.height - 1)(random);
        const std::int32_t end = std::uniform_int_distribution<std::int32_t>(begin + 1, image.height)(random);
        std::vector<Pixel> target(expected.size(), untouched);
        upscaleBand(factor, image.pixels.data(), target.data(), image.width, image.height, ScaleSettings{},
                    begin, end);
        const std::size_t rowWords = static_cast<std::size_t>(image.width * factor);
        for (std::size_t i = 0; i < target.size(); ++i) {
            const auto sourceRow = static_cast<std::int32_t>(i / rowWords) / factor;
            const bool inside = sourceRow >= begin && sourceRow < end;
            ASSERT_EQ(target[i], inside ? expected[i] : untouched)
                << describe(factor, image, {{begin, end}}) << ", word " << i;
        }
    }
}

TEST_P(BandSplit, BandsOnSeparateThreadsMatchOneCall) {
    const int factor = GetParam();
    std::mt19937 random(static_cast<std::mt19937::result_type>(factor * 31337));
    for (int round = 0; round < 10; ++round) {
        Image image;
        image.width = 48 + static_cast<std::int32_t>(random() % 17);
        image.height = 40 + static_cast<std::int32_t>(random() % 25);
        const Image pattern = randomImage(random);
        for (std::int32_t y = 0; y < image.height; ++y)
            for (std::int32_t x = 0; x < image.width; ++x)
                image.pixels.push_back(pattern.pixels[static_cast<std::size_t>(
                    (y % pattern.height) * pattern.width + (x * 7 + y) % pattern.width)]);
        const std::vector<Pixel> expected = wholeImage(factor, image);
        const std::vector<Band> bands = randomBands(random, image.height);
        std::vector<Pixel> banded(expected.size(), untouched);
        {
            std::vector<std::jthread> threads;
            for (const Band& band : bands)
                threads.emplace_back([&, band] {
                    upscaleBand(factor, image.pixels.data(), banded.data(), image.width, image.height,
                                ScaleSettings{}, band.begin, band.end);
                });
        }
        ASSERT_EQ(firstDifference(banded, expected), -1) << describe(factor, image, bands);
    }
}

TEST_P(BandSplit, BandLimitsAreClampedToTheImage) {
    const int factor = GetParam();
    std::mt19937 random(static_cast<std::mt19937::result_type>(factor));
    const Image image = randomImage(random);
    const std::vector<Pixel> expected = wholeImage(factor, image);
    std::vector<Pixel> banded(expected.size(), untouched);
    upscaleBand(factor, image.pixels.data(), banded.data(), image.width, image.height, ScaleSettings{}, -5,
                image.height / 2);
    upscaleBand(factor, image.pixels.data(), banded.data(), image.width, image.height, ScaleSettings{},
                image.height / 2, INT32_MAX);
    EXPECT_EQ(firstDifference(banded, expected), -1) << describe(factor, image, {});
}

TEST_P(BandSplit, RealSpritesInRandomBands) {
    const int factor = GetParam();
    std::mt19937 random(static_cast<std::mt19937::result_type>(factor * 65537));
    for (const char* name :
         {"cdda_uc_fire_32.png", "cdda_mshock_streetlight_64x80.png", "cdda_hoder_cat_16.png",
          "cdda_uc_door_closed_32.png", "cdda_bears_zombie_horse_20.png"}) {
        std::ifstream stream{std::string{TESSERA_TEST_DATA} + "/" + name, std::ios::binary};
        const std::vector<char> bytes{std::istreambuf_iterator<char>{stream},
                                      std::istreambuf_iterator<char>{}};
        const tessera::Result<tessera::codecs::DecodedImage> decoded =
            tessera::codecs::decodeStill(bytes, tessera::codecs::withinPixels(UINT64_MAX));
        const auto* file = std::get_if<tessera::codecs::DecodedImage>(&decoded);
        ASSERT_NE(file, nullptr) << name;
        Image image;
        image.width = static_cast<std::int32_t>(file->width);
        image.height = static_cast<std::int32_t>(file->height);
        image.pixels.resize(std::size_t{file->width} * file->height);
        rgbaToOpaquePixels(file->rgba.data(), image.pixels.size(), image.pixels.data());
        const std::vector<Pixel> expected = wholeImage(factor, image);
        for (int round = 0; round < 5; ++round) {
            const std::vector<Band> bands = randomBands(random, image.height);
            std::vector<Pixel> banded(expected.size(), untouched);
            for (const Band& band : bands)
                upscaleBand(factor, image.pixels.data(), banded.data(), image.width, image.height,
                            ScaleSettings{}, band.begin, band.end);
            ASSERT_EQ(firstDifference(banded, expected), -1)
                << name << ": " << describe(factor, image, bands);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFactor, BandSplit, testing::Values(2, 3, 4, 5),
                         [](const testing::TestParamInfo<int>& info) {
                             return "x" + std::to_string(info.param);
                         });

} // namespace

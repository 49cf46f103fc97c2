// The pixel rules tessera-scale shares with anything that enlarges images as it does.
#include "limits_and_defaults.h"
#include "pixel_conversion.h"
#include "row_bands.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace tessera::pixels;

TEST(CompositeChannel, RoundsToNearestAndKeepsTheEnds) {
    struct Case {
        int colour, alpha, background, expected;
    };
    // Worked by hand from the exact mix (colour * alpha + background * (255 - alpha)) / 255.
    const Case cases[] = {
        {200, 255, 17, 200}, // opaque keeps the colour
        {200, 0, 17, 17},    // transparent gives the background
        {255, 128, 0, 128},  // 128 exactly
        {1, 128, 0, 1},      // 0.502 rounds up (truncation would give 0)
        {1, 127, 0, 0},      // 0.498 rounds down
        {200, 128, 32, 116}, // 116.33 rounds down
        {100, 200, 50, 89},  // 89.22 rounds down
        {100, 201, 50, 89},  // 89.41 rounds down
        {100, 204, 50, 90},  // 90.0 exactly
        {0, 1, 128, 127},    // 127.498 rounds down
        {255, 1, 128, 128},  // 128.498 rounds down
        {254, 2, 0, 2},      // 1.992 rounds up
    };
    for (const Case& c : cases)
        EXPECT_EQ(compositeChannel(static_cast<std::uint8_t>(c.colour), static_cast<std::uint8_t>(c.alpha),
                                   static_cast<std::uint8_t>(c.background)),
                  c.expected)
            << c.colour << " alpha " << c.alpha << " over " << c.background;
}

TEST(CompositeChannel, StaysBetweenColourAndBackgroundForEveryAlpha) {
    for (int alpha = 0; alpha <= 255; ++alpha)
        for (int colour : {0, 1, 77, 254, 255})
            for (int background : {0, 128, 255}) {
                const int result =
                    compositeChannel(static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(alpha),
                                     static_cast<std::uint8_t>(background));
                EXPECT_GE(result, std::min(colour, background));
                EXPECT_LE(result, std::max(colour, background));
            }
}

TEST(ConvertToWords, KeepsAlphaUnlessOpaqueOrFlattened) {
    const std::vector<std::uint8_t> opaque = {0x12, 0x34, 0x56, 255, 0xFE, 0x00, 0x01, 255};
    // Translucent, opaque, and transparent with colour bits the alpha-aware scaler ignores.
    const std::vector<std::uint8_t> translucent = {200, 100, 0, 128, 1, 2, 3, 255, 9, 8, 7, 0};
    struct Case {
        const char* name;
        const std::vector<std::uint8_t>& rgba;
        std::optional<Rgb> background;
        Conversion expected;
        std::vector<Pixel> words;
    };
    const Rgb grey{0x80, 0x80, 0x80};
    const Case cases[] = {
        {"opaque", opaque, std::nullopt, {ColourMode::Opaque, false}, {0xFF123456u, 0xFFFE0001u}},
        {"opaque over a background", opaque, grey, {ColourMode::Opaque, false}, {0xFF123456u, 0xFFFE0001u}},
        {"translucent",
         translucent,
         std::nullopt,
         {ColourMode::WithAlpha, false},
         {0x80C86400u, 0xFF010203u, 0x00090807u}},
        {"translucent over a background",
         translucent,
         grey,
         {ColourMode::Opaque, true},
         {0xFFA47240u, 0xFF010203u, 0xFF808080u}},
    };
    for (const Case& c : cases) {
        std::vector<Pixel> words(c.rgba.size() / 4, 0);
        const Conversion conversion = convertToWords(c.rgba, c.background, words);
        EXPECT_EQ(conversion.mode, c.expected.mode) << c.name;
        EXPECT_EQ(conversion.flattened, c.expected.flattened) << c.name;
        EXPECT_EQ(words, c.words) << c.name;
    }
}

TEST(ConvertToRgba, ForcesAlphaOnlyForTheOpaqueModeAndMayRunInPlace) {
    // The opaque scaler leaves alpha 0 in blended cells; the written image is opaque anyway.
    const std::vector<Pixel> words = {0x00ABCDEFu, 0xFF010203u, 0x7F808080u};
    const std::vector<std::uint8_t> opaque = {0xAB, 0xCD, 0xEF, 255, 1, 2, 3, 255, 0x80, 0x80, 0x80, 255};
    const std::vector<std::uint8_t> straight = {0xAB, 0xCD, 0xEF, 0, 1, 2, 3, 255, 0x80, 0x80, 0x80, 0x7F};
    for (const auto& [mode, expected] :
         {std::pair{ColourMode::Opaque, opaque}, std::pair{ColourMode::WithAlpha, straight}}) {
        std::vector<Pixel> inPlace = words;
        convertToRgba(mode, inPlace, reinterpret_cast<std::uint8_t*>(inPlace.data()));
        EXPECT_EQ(0, std::memcmp(inPlace.data(), expected.data(), expected.size())) << static_cast<int>(mode);
    }
}

TEST(TargetSizeRefusal, RefusesEmptyAndOversizedImages) {
    const auto accepted = [](std::uint64_t width, std::uint64_t height, int factor) {
        return !targetSizeRefusal(width, height, factor);
    };
    EXPECT_TRUE(accepted(1, 1, 5));
    EXPECT_TRUE(accepted(1024, 1024, 5));
    EXPECT_TRUE(accepted(8192, 8192, 2)); // exactly the limit
    EXPECT_FALSE(accepted(8192, 8193, 2));
    EXPECT_FALSE(accepted(0, 10, 2));
    EXPECT_FALSE(accepted(10, 0, 2));
    // Sides whose product overflows 64 bits must still be refused.
    EXPECT_FALSE(accepted(std::uint64_t{1} << 40, std::uint64_t{1} << 40, 5));
    EXPECT_FALSE(accepted(std::uint64_t{1} << 33, 1, 2));
    const std::optional<std::string> refusal = targetSizeRefusal(20000, 20000, 4);
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find("20000 x 20000"), std::string::npos) << *refusal;
}

TEST(PlanBands, CoverEveryRowOnceInOrder) {
    struct Case {
        std::int32_t height;
        std::uint64_t targetPixels;
        int threads;
        std::size_t expectedBands;
    };
    const Case cases[] = {
        {1024, 4u << 20, 1, 1},        // one thread: one band
        {32, 16384, 8, 1},             // small image: one band
        {1024, 16u << 20, 2, 4},       // two bands per thread
        {1024, 2u << 20, 8, 2},        // no band below a million target pixels
        {3, 200u << 20, 8, 3},         // never more bands than rows
        {1, 1u << 20, 4, 1},           // a single row
        {1000, 1000u << 20, 256, 512}, // many threads
        {1000, 100u << 20, 256, 100},  // at most one band per million target pixels
    };
    for (const Case& c : cases) {
        const std::vector<RowBand> bands = planBands(c.height, c.targetPixels, c.threads);
        ASSERT_EQ(bands.size(), c.expectedBands) << c.height << " rows, " << c.threads << " threads";
        std::int32_t next = 0;
        for (const RowBand& band : bands) {
            EXPECT_EQ(band.begin, next);
            EXPECT_LT(band.begin, band.end);
            next = band.end;
        }
        EXPECT_EQ(next, c.height);
    }
    EXPECT_TRUE(planBands(0, 0, 4).empty());
}

} // namespace

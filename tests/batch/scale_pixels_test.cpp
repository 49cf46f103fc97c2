#include "scale_pixels.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace tessera::tool;

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

TEST(FlattenToWords, OpaqueWordsInChannelOrderAndReportsTranslucency) {
    const std::vector<std::uint8_t> opaque = {0x12, 0x34, 0x56, 255, 0xFE, 0x00, 0x01, 255};
    std::vector<Pixel> words(2, 0);
    EXPECT_FALSE(flattenToWords(opaque, Rgb{9, 9, 9}, words));
    EXPECT_EQ(words, (std::vector<Pixel>{0xFF123456u, 0xFFFE0001u}));

    const std::vector<std::uint8_t> mixed = {0x12, 0x34, 0x56, 255, 200, 100, 0, 128, 1, 2, 3, 0};
    words.assign(3, 0);
    EXPECT_TRUE(flattenToWords(mixed, Rgb{32, 64, 128}, words));
    EXPECT_EQ(words[0], 0xFF123456u);
    EXPECT_EQ(words[1], 0xFF000000u | Pixel{compositeChannel(200, 128, 32)} << 16 |
                            Pixel{compositeChannel(100, 128, 64)} << 8 | compositeChannel(0, 128, 128));
    EXPECT_EQ(words[2], 0xFF204080u); // fully transparent: the background
}

TEST(WriteOpaqueRgba, ForcesAlphaAndMayRunInPlace) {
    // The scaler leaves alpha 0 in blended cells; the written image is opaque anyway.
    const std::vector<Pixel> words = {0x00ABCDEFu, 0xFF010203u, 0x7F808080u};
    std::vector<std::uint8_t> separate(12);
    writeOpaqueRgba(words, separate.data());
    EXPECT_EQ(separate,
              (std::vector<std::uint8_t>{0xAB, 0xCD, 0xEF, 255, 1, 2, 3, 255, 0x80, 0x80, 0x80, 255}));

    std::vector<Pixel> inPlace = words;
    writeOpaqueRgba(inPlace, reinterpret_cast<std::uint8_t*>(inPlace.data()));
    EXPECT_EQ(0, std::memcmp(inPlace.data(), separate.data(), separate.size()));
}

TEST(CheckTargetSize, RefusesEmptyAndOversizedImages) {
    EXPECT_EQ(checkTargetSize(1, 1, 5), std::nullopt);
    EXPECT_EQ(checkTargetSize(1024, 1024, 5), std::nullopt);
    EXPECT_EQ(checkTargetSize(8192, 8192, 2), std::nullopt); // exactly the limit
    EXPECT_NE(checkTargetSize(8192, 8193, 2), std::nullopt);
    EXPECT_NE(checkTargetSize(0, 10, 2), std::nullopt);
    EXPECT_NE(checkTargetSize(10, 0, 2), std::nullopt);
    // Sides whose product overflows 64 bits must still be refused.
    EXPECT_NE(checkTargetSize(std::uint64_t{1} << 40, std::uint64_t{1} << 40, 5), std::nullopt);
    EXPECT_NE(checkTargetSize(std::uint64_t{1} << 33, 1, 2), std::nullopt);
    const auto message = checkTargetSize(20000, 20000, 4);
    ASSERT_TRUE(message);
    EXPECT_NE(message->find("20000 x 20000"), std::string::npos) << *message;
}

TEST(CheckDeclaredImage, RefusesWhatCannotBeEnlargedAndWhatTheDecoderWouldNeedTooMuchFor) {
    struct Case {
        DeclaredImage image;
        int factor;
        const char* refusal; // in the message, or nullptr when the image is accepted
    };
    const Case cases[] = {
        {{8192, 8192, 4}, 2, nullptr}, // the largest enlargement, decoded in exactly 256 MiB
        {{8192, 8193, 4}, 2, "too large: 8192 x 8193 enlarged by 2"},
        {{4096, 4096, 4}, 5, "too large: 4096 x 4096 enlarged by 5"},
        {{0, 7, 4}, 2, "empty"},
        {{8192, 4096, 8}, 2, nullptr}, // 16 bits per channel: 256 MiB
        {{8192, 8192, 8}, 2, "too large to decode: 8192 x 8192 needs 512 MiB"},
        {{4096, 4096, 16}, 2, nullptr}, // floating point: 256 MiB
        {{4096, 4097, 16}, 2, "needs 257 MiB to decode, more than the limit of 256 MiB"},
        {{0xFFFFFFFFu, 0xFFFFFFFFu, 16}, 2, "too large: 4294967295 x 4294967295"},
    };
    for (const Case& c : cases) {
        const auto message = checkDeclaredImage(c.image, c.factor);
        const std::string size = std::to_string(c.image.width) + " x " + std::to_string(c.image.height);
        if (c.refusal == nullptr) {
            EXPECT_EQ(message, std::nullopt) << size << ": " << message.value_or("");
        } else {
            ASSERT_TRUE(message) << size;
            EXPECT_NE(message->find(c.refusal), std::string::npos) << *message;
        }
    }
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

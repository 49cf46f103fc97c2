// Agreement with a plain second implementation on many random images of few colours,
// in both colour modes, at every factor, on every instruction set's build of the pass, for partial row ranges
// and for bands; and the invariants of the output that hold whatever the image.
#include "instruction_sets.h"
#include "reference_scaler.h"
#include "target_rows.h"
#include "test_images.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace tessera {
namespace {

constexpr Pixel sentinel = 0xA5A5A5A5u;

// Few colours, some close enough to count as the same colour, some differing only in
// alpha, so every branch of the decision is reached.
constexpr Pixel opaquePalette[] = {0xFF000000u, 0xFFFFFFFFu, 0xFF3050A0u, 0xFF3252A2u,
                                   0xFFE0C020u, 0x00E0C020u, 0xFF80FF80u, 0xFF10E0F0u};
// The same mixture with few alpha levels: transparent words of different colour bits
// (one pixel in the alpha mode), faint and half-visible ones, opaque ones.
constexpr Pixel alphaPalette[] = {0x00000000u, 0x00FF00FFu, 0xFF3050A0u, 0x803050A0u,
                                  0xFFE0C020u, 0x10E0C020u, 0xFFFFFFFFu, 0xC010E0F0u};

struct Mode {
    const char* name;
    bool alpha;
    const Pixel* palette;
    void (*whole)(std::int32_t, const Pixel*, Pixel*, std::int32_t, std::int32_t, const ScaleSettings&,
                  std::int32_t);
    void (*band)(std::int32_t, const Pixel*, Pixel*, std::int32_t, std::int32_t, const ScaleSettings&,
                 std::int32_t, std::int32_t);
};

const Mode opaqueMode{"opaque", false, opaquePalette, upscale, upscaleBand};
const Mode alphaMode{"alpha", true, alphaPalette, upscaleWithAlpha, upscaleBandWithAlpha};

test::Image randomImage(std::mt19937& random, const Pixel* palette, std::int32_t width, std::int32_t height,
                        int colours) {
    std::uniform_int_distribution<int> pick(0, colours - 1);
    // Runs of repeated pixels make edges and flat areas, not just noise.
    std::bernoulli_distribution repeat(0.45);
    Pixel last = palette[0];
    return test::makeImage(width, height, [&](auto, auto) {
        if (!repeat(random))
            last = palette[pick(random)];
        return last;
    });
}

struct ModeFactor {
    const Mode* mode;
    int factor;
};

class RandomImages : public test::OnEveryInstructionSet<ModeFactor> {};

// Rows [rowBegin, rowEnd) through the mode's entry, and the same rows of the plain
// implementation, in targets with a margin of sentinels; the two must agree on every
// word, margin included.
void expectAgreement(const Mode& mode, int factor, const test::Image& image, std::int32_t rowBegin,
                     std::int32_t rowEnd, const char* what) {
    const ScaleSettings settings;
    const std::size_t size = static_cast<std::size_t>(image.width) * factor * (image.height + 1) * factor;
    std::vector<Pixel> target(size, sentinel), expected(size, sentinel);
    if (rowBegin == 0)
        mode.whole(factor, image.pixels.data(), target.data(), image.width, image.height, settings, rowEnd);
    else
        mode.band(factor, image.pixels.data(), target.data(), image.width, image.height, settings, rowBegin,
                  rowEnd);
    reference::upscale(factor, image.pixels.data(), expected.data(), image.width, image.height, settings,
                       rowBegin, rowEnd, mode.alpha);
    const auto mismatch = std::mismatch(target.begin(), target.end(), expected.begin());
    ASSERT_TRUE(mismatch.first == target.end())
        << mode.name << " factor " << factor << " " << image.width << "x" << image.height << " " << what
        << " rows " << rowBegin << ".." << rowEnd << ": element " << mismatch.first - target.begin() << " is "
        << std::hex << *mismatch.first << ", expected " << *mismatch.second;
}

TEST_P(RandomImages, MatchThePlainImplementation) {
    const auto [mode, factor] = param();
    std::mt19937 random(20261207u + factor + (mode->alpha ? 100 : 0));
    std::uniform_int_distribution<std::int32_t> size(1, 40);
    std::uniform_int_distribution<int> colourCount(2, 8);
    for (int round = 0; round < 60; ++round) {
        const test::Image image =
            randomImage(random, mode->palette, size(random), size(random), colourCount(random));
        const std::int32_t height = image.height;
        const std::int32_t cut = std::uniform_int_distribution<std::int32_t>(1, height)(random);
        expectAgreement(*mode, factor, image, 0, INT32_MAX, "whole");
        expectAgreement(*mode, factor, image, 0, cut, "first rows");
        expectAgreement(*mode, factor, image, cut - 1, height, "band");
    }
}

// Wider than one strip of the pass, so that strips meet inside the image.
TEST_P(RandomImages, MatchThePlainImplementationAcrossStrips) {
    const auto [mode, factor] = param();
    std::mt19937 random(7u + factor);
    for (const std::int32_t width : {255, 257, 513, 700}) {
        const test::Image image = randomImage(random, mode->palette, width, 5, 8);
        expectAgreement(*mode, factor, image, 0, INT32_MAX, "whole");
        expectAgreement(*mode, factor, image, 2, 4, "band");
    }
}

// An enlargement too large for the caches, which the pass composes aside and streams to
// the target; three strips wide, so that target rows start off cache-line boundaries and
// strips meet inside lines. The bands are the first rows and the last, whose working
// grade row lies in the target's tail.
TEST_P(RandomImages, MatchThePlainImplementationWhenLarge) {
    const auto [mode, factor] = param();
    std::mt19937 random(31u + factor);
    constexpr std::int32_t width = 403;
    const auto height = static_cast<std::int32_t>((std::int64_t{40} << 20) /
                                                  (width * factor * factor * std::int64_t{sizeof(Pixel)}));
    ASSERT_TRUE(streamsTarget(width, height, factor));
    const test::Image image = randomImage(random, mode->palette, width, height, 8);
    expectAgreement(*mode, factor, image, 0, 3, "first rows");
    expectAgreement(*mode, factor, image, height - 3, height, "last rows");
}

// Bands enlarged lower one first into one target give the whole image; and in the opaque
// mode every word is blended (alpha 0) or a copy of the pixel or one of its neighbours.
TEST_P(RandomImages, WordsComeFromTheNeighbourhoodAndBandsPieceTogether) {
    const auto [mode, factor] = param();
    std::mt19937 random(99u + factor);
    const ScaleSettings settings;
    for (int round = 0; round < 20; ++round) {
        const test::Image image = randomImage(random, mode->palette, 23, 17, 8);
        const std::size_t size = image.pixels.size() * factor * factor;
        std::vector<Pixel> whole(size, sentinel), pieced(size, sentinel);
        mode->whole(factor, image.pixels.data(), whole.data(), image.width, image.height, settings,
                    INT32_MAX);
        const std::int32_t split = std::uniform_int_distribution<std::int32_t>(0, image.height)(random);
        mode->band(factor, image.pixels.data(), pieced.data(), image.width, image.height, settings, split,
                   image.height);
        mode->band(factor, image.pixels.data(), pieced.data(), image.width, image.height, settings, 0, split);
        ASSERT_EQ(pieced, whole) << "split at " << split;

        const std::int32_t targetWidth = image.width * factor;
        for (std::size_t i = 0; i < size && !mode->alpha; ++i) {
            const std::int32_t x = static_cast<std::int32_t>(i % targetWidth) / factor;
            const std::int32_t y = static_cast<std::int32_t>(i / targetWidth) / factor;
            bool fromNeighbourhood = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const Pixel p = image.at(std::clamp(x + dx, 0, image.width - 1),
                                             std::clamp(y + dy, 0, image.height - 1));
                    fromNeighbourhood = fromNeighbourhood || whole[i] == p;
                }
            ASSERT_TRUE(fromNeighbourhood || whole[i] >> 24 == 0) << "element " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Factors, RandomImages,
    testing::Combine(testing::Values(ModeFactor{&opaqueMode, 2}, ModeFactor{&opaqueMode, 3},
                                     ModeFactor{&opaqueMode, 4}, ModeFactor{&opaqueMode, 5},
                                     ModeFactor{&alphaMode, 2}, ModeFactor{&alphaMode, 3},
                                     ModeFactor{&alphaMode, 4}, ModeFactor{&alphaMode, 5}),
                     test::everyInstructionSet),
    test::namedWithSet<ModeFactor>([](const ModeFactor& p) {
        return std::string(p.mode->name) + std::to_string(p.factor);
    }));

} // namespace
} // namespace tessera

// Properties over many random images of few colours, and agreement with a plain
// second implementation, at every factor and for partial row ranges.
#include "reference_scaler.h"
#include "test_images.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace tessera {
namespace {

constexpr Pixel sentinel = 0xA5A5A5A5u;

// Few colours, some close enough to count as the same colour, some differing
// only in alpha, so every branch of the decision is reached.
constexpr Pixel palette[] = {0xFF000000u, 0xFFFFFFFFu, 0xFF3050A0u, 0xFF3252A2u,
                             0xFFE0C020u, 0x00E0C020u, 0xFF80FF80u, 0xFF10E0F0u};

test::Image randomImage(std::mt19937& random, std::int32_t width, std::int32_t height, int colours) {
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

class RandomImages : public testing::TestWithParam<int> {};

TEST_P(RandomImages, HoldTheirInvariantsAndMatchThePlainImplementation) {
    const int factor = GetParam();
    std::mt19937 random(20261207u + factor);
    std::uniform_int_distribution<std::int32_t> size(1, 40);
    std::uniform_int_distribution<int> colourCount(2, 8);
    const ScaleSettings settings;
    for (int round = 0; round < 150; ++round) {
        const std::int32_t width = size(random), height = size(random);
        const test::Image image = randomImage(random, width, height, colourCount(random));
        const std::int32_t rowEnds[] = {INT32_MAX, height,
                                        std::uniform_int_distribution<std::int32_t>(1, height)(random)};
        for (const std::int32_t rowEnd : rowEnds) {
            const std::int32_t lastRow = std::min(rowEnd, height);
            const std::size_t written = static_cast<std::size_t>(width) * factor * lastRow * factor;
            // Room for the whole image plus a margin, all sentinel.
            std::vector<Pixel> target(static_cast<std::size_t>(width) * factor * (height + 1) * factor,
                                      sentinel);
            std::vector<Pixel> expected = target;
            upscale(factor, image.pixels.data(), target.data(), width, height, settings, rowEnd);
            reference::upscale(factor, image.pixels.data(), expected.data(), width, height, settings, rowEnd);
            const auto where = [&](std::size_t i) {
                return testing::Message() << width << "x" << height << " rowEnd " << rowEnd << " round "
                                          << round << " element " << i;
            };
            for (std::size_t i = 0; i < target.size(); ++i) {
                ASSERT_EQ(target[i], expected[i]) << where(i);
                if (i >= written) {
                    ASSERT_EQ(target[i], sentinel) << where(i);
                    continue;
                }
                // Every word is blended (alpha 0) or a copy of the pixel or one of
                // its eight neighbours.
                const std::int32_t tx = static_cast<std::int32_t>(i % (width * factor)) / factor;
                const std::int32_t ty = static_cast<std::int32_t>(i / (width * factor)) / factor;
                bool fromNeighbourhood = (target[i] >> 24) == 0;
                for (int dy = -1; dy <= 1 && !fromNeighbourhood; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        fromNeighbourhood =
                            fromNeighbourhood || target[i] == image.at(std::clamp(tx + dx, 0, width - 1),
                                                                       std::clamp(ty + dy, 0, height - 1));
                ASSERT_TRUE(fromNeighbourhood) << where(i);
            }
        }
    }
}

TEST_P(RandomImages, OneColourIsPlainReplication) {
    const int factor = GetParam();
    for (const Pixel colour : palette) {
        const test::Image image = test::makeImage(13, 7, [&](auto, auto) { return colour; });
        const test::Enlarged out = test::enlarge(image, factor);
        for (const Pixel p : out.pixels)
            ASSERT_EQ(p, colour);
    }
}

INSTANTIATE_TEST_SUITE_P(Factors, RandomImages, testing::Values(2, 3, 4, 5));

} // namespace
} // namespace tessera

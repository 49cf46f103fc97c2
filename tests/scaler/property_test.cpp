// Agreement with a plain second implementation on many random images of few colours,
// in both colour modes, at every factor, on every instruction set's build of the pass, for partial row ranges
// and for bands, in every edge mode; and the invariants of the output that hold whatever the image.
#include "instruction_sets.h"
#include "reference_scaler.h"
#include "target_rows.h"
#include "test_images.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
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

const auto everyModeAndFactor =
    testing::Values(ModeFactor{&opaqueMode, 2}, ModeFactor{&opaqueMode, 3}, ModeFactor{&opaqueMode, 4},
                    ModeFactor{&opaqueMode, 5}, ModeFactor{&alphaMode, 2}, ModeFactor{&alphaMode, 3},
                    ModeFactor{&alphaMode, 4}, ModeFactor{&alphaMode, 5});

std::string nameOf(const ModeFactor& p) {
    return std::string(p.mode->name) + std::to_string(p.factor);
}

class RandomImages : public test::OnEveryInstructionSet<ModeFactor> {};

ScaleOptions optionsFor(const Mode& mode, const reference::Edges& edges, std::int32_t rowBegin,
                        std::int32_t rowEnd) {
    return {mode.alpha ? ColourMode::WithAlpha : ColourMode::Opaque,
            edges.wrap ? EdgeMode::Wrap : EdgeMode::Clamp,
            edges.cellWidth,
            edges.cellHeight,
            rowBegin,
            rowEnd};
}

// Rows [rowBegin, rowEnd) through the mode's entry (or, given edges, the entry with
// options), and the same rows of the plain implementation, in targets with a margin of
// sentinels; the two must agree on every word, margin included.
void expectAgreement(const Mode& mode, int factor, const test::Image& image, std::int32_t rowBegin,
                     std::int32_t rowEnd, const char* what,
                     const std::optional<reference::Edges>& edges = std::nullopt) {
    const ScaleSettings settings;
    const std::size_t size = static_cast<std::size_t>(image.width) * factor * (image.height + 1) * factor;
    std::vector<Pixel> target(size, sentinel), expected(size, sentinel);
    if (edges)
        upscaleWithOptions(factor, image.pixels.data(), target.data(), image.width, image.height, settings,
                           optionsFor(mode, *edges, rowBegin, rowEnd));
    else if (rowBegin == 0)
        mode.whole(factor, image.pixels.data(), target.data(), image.width, image.height, settings, rowEnd);
    else
        mode.band(factor, image.pixels.data(), target.data(), image.width, image.height, settings, rowBegin,
                  rowEnd);
    reference::upscale(factor, image.pixels.data(), expected.data(), image.width, image.height, settings,
                       rowBegin, rowEnd, mode.alpha, edges.value_or(reference::Edges{}));
    const reference::Edges shown = edges.value_or(reference::Edges{});
    const auto mismatch = std::mismatch(target.begin(), target.end(), expected.begin());
    ASSERT_TRUE(mismatch.first == target.end())
        << mode.name << " factor " << factor << " " << image.width << "x" << image.height << " " << what
        << " rows " << rowBegin << ".." << rowEnd << (shown.wrap ? " wrapped" : " clamped") << " cells "
        << shown.cellWidth << "x" << shown.cellHeight << ": element " << mismatch.first - target.begin()
        << " is " << std::hex << *mismatch.first << ", expected " << *mismatch.second;
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

// Wrapped edges, and sheets of cells whose sizes divide the image's and do not (the cells
// at the right and bottom smaller), with either edge rule; whole, first rows and bands.
TEST_P(RandomImages, MatchThePlainImplementationInEveryEdgeMode) {
    const auto [mode, factor] = param();
    std::mt19937 random(4099u + factor + (mode->alpha ? 100 : 0));
    std::uniform_int_distribution<std::int32_t> size(1, 40);
    // A cell size that divides `side`, or (where there is one) one that does not.
    const auto cellSize = [&](std::int32_t side, bool dividing) {
        std::uniform_int_distribution<std::int32_t> any(1, side + 2);
        std::int32_t cell = any(random);
        for (int tries = 0; tries < 100 && (side % cell == 0) != dividing; ++tries)
            cell = any(random);
        return cell;
    };
    for (int round = 0; round < 20; ++round) {
        const test::Image image =
            randomImage(random, mode->palette, size(random), size(random), 2 + round % 7);
        const bool wrap = round % 2 == 0;
        for (const reference::Edges edges :
             {reference::Edges{true, 0, 0},
              reference::Edges{wrap, cellSize(image.width, true), cellSize(image.height, true)},
              reference::Edges{!wrap, cellSize(image.width, false), cellSize(image.height, false)}}) {
            const std::int32_t cut = std::uniform_int_distribution<std::int32_t>(1, image.height)(random);
            expectAgreement(*mode, factor, image, 0, INT32_MAX, "whole", edges);
            expectAgreement(*mode, factor, image, 0, cut, "first rows", edges);
            expectAgreement(*mode, factor, image, cut - 1, image.height, "band", edges);
        }
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
        // Cells several to a strip, cells wider than a strip, and the most cells a strip holds.
        for (const reference::Edges edges :
             {reference::Edges{true, 37, 2}, reference::Edges{false, 250, 3}, reference::Edges{true, 1, 4}}) {
            expectAgreement(*mode, factor, image, 0, INT32_MAX, "whole", edges);
            expectAgreement(*mode, factor, image, 2, 4, "band", edges);
        }
    }
}

// An enlargement too large for the caches, which the pass composes aside and streams to
// the target where the processor has streaming stores (elsewhere writes in place); three
// strips wide, so that target rows start off cache-line boundaries and strips meet inside
// lines. The bands are the first rows and the last, whose working grade row lies in the
// target's tail.
TEST_P(RandomImages, MatchThePlainImplementationWhenLarge) {
    const auto [mode, factor] = param();
    std::mt19937 random(31u + factor);
    constexpr std::int32_t width = 403;
    const auto height = static_cast<std::int32_t>((std::int64_t{40} << 20) /
                                                  (width * factor * factor * std::int64_t{sizeof(Pixel)}));
    ASSERT_EQ(streamsTarget(width, height, factor), hasStreamingStores);
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

// A band enlarged into a target of its own rows alone holds the whole image's rows there, with
// the edges clamped or wrapped and in cells that start above the band.
TEST_P(RandomImages, ABandInATargetOfItsOwnHoldsTheWholeImagesRows) {
    const auto [mode, factor] = param();
    std::mt19937 random(123u + factor);
    for (int round = 0; round < 12; ++round) {
        const test::Image image = randomImage(random, mode->palette, 23, 17, 8);
        ScaleOptions options{mode->alpha ? ColourMode::WithAlpha : ColourMode::Opaque};
        if (round % 2 == 1)
            options = {options.colours, EdgeMode::Wrap, 5, 4};
        std::vector<Pixel> whole(image.pixels.size() * factor * factor, sentinel);
        upscaleWithOptions(factor, image.pixels.data(), whole.data(), image.width, image.height, {}, options);
        options.rowBegin = std::uniform_int_distribution<std::int32_t>(0, image.height - 1)(random);
        options.rowEnd =
            std::uniform_int_distribution<std::int32_t>(options.rowBegin + 1, image.height)(random);
        options.bandTarget = true;
        const std::size_t rowWords = static_cast<std::size_t>(image.width) * factor;
        std::vector<Pixel> band(
            static_cast<std::size_t>(options.rowEnd - options.rowBegin) * factor * rowWords, sentinel);
        upscaleWithOptions(factor, image.pixels.data(), band.data(), image.width, image.height, {}, options);
        const auto first = whole.begin() + static_cast<std::ptrdiff_t>(options.rowBegin * factor * rowWords);
        ASSERT_TRUE(std::equal(band.begin(), band.end(), first))
            << "rows " << options.rowBegin << " to " << options.rowEnd << ", round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Factors, RandomImages,
                         testing::Combine(everyModeAndFactor, test::everyInstructionSet),
                         test::namedWithSet<ModeFactor>(nameOf));

// What the edge modes promise, checked on the library alone: wrapped edges are the middle
// of a tiling, and cells are the pieces of the sheet enlarged apart.
class EdgeModes : public testing::TestWithParam<ModeFactor> {
protected:
    std::vector<Pixel> enlarged(const test::Image& image, EdgeMode edges, std::int32_t cellWidth = 0,
                                std::int32_t cellHeight = 0) const {
        const auto [mode, factor] = GetParam();
        std::vector<Pixel> target(image.pixels.size() * factor * factor, sentinel);
        upscaleWithOptions(
            factor, image.pixels.data(), target.data(), image.width, image.height, ScaleSettings{},
            {mode->alpha ? ColourMode::WithAlpha : ColourMode::Opaque, edges, cellWidth, cellHeight});
        return target;
    }

    // Whether the block rows and columns from (left, top) of `whole`'s enlargement, as many
    // as `part` has, are `part`.
    ::testing::AssertionResult holds(const std::vector<Pixel>& whole, std::int32_t wholeWidth,
                                     const std::vector<Pixel>& part, std::int32_t width, std::int32_t height,
                                     std::int32_t left, std::int32_t top) const {
        const int factor = GetParam().factor;
        for (std::int32_t y = 0; y < height * factor; ++y)
            for (std::int32_t x = 0; x < width * factor; ++x) {
                const Pixel want = part[static_cast<std::size_t>(y) * width * factor + x];
                const Pixel got = whole[static_cast<std::size_t>(top * factor + y) * wholeWidth * factor +
                                        left * factor + x];
                if (got != want)
                    return ::testing::AssertionFailure()
                           << "target (" << x << "," << y << ") of the part at (" << left << "," << top
                           << ") is " << std::hex << got << ", expected " << want;
            }
        return ::testing::AssertionSuccess();
    }
};

TEST_P(EdgeModes, WrappedIsTheMiddleOfAClampedTiling) {
    std::mt19937 random(515u + GetParam().factor);
    const struct {
        std::int32_t width, height;
    } sizes[] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}, {3, 7}, {16, 5}, {23, 17}};
    for (const auto& size : sizes) {
        const std::int32_t width = size.width, height = size.height;
        const test::Image image = randomImage(random, GetParam().mode->palette, width, height, 8);
        const test::Image tiling =
            test::makeImage(3 * width, 3 * height,
                            [&](std::int32_t x, std::int32_t y) { return image.at(x % width, y % height); });
        EXPECT_TRUE(holds(enlarged(tiling, EdgeMode::Clamp), tiling.width, enlarged(image, EdgeMode::Wrap),
                          width, height, width, height))
            << width << "x" << height;
    }
}

TEST_P(EdgeModes, CellsAreTheSheetCutEnlargedApart) {
    std::mt19937 random(616u + GetParam().factor);
    const struct {
        std::int32_t width, height, cellWidth, cellHeight;
        EdgeMode edges;
    } sheets[] = {{30, 20, 10, 10, EdgeMode::Clamp}, {31, 21, 8, 6, EdgeMode::Wrap},
                  {17, 9, 17, 4, EdgeMode::Wrap},    {12, 13, 5, 13, EdgeMode::Clamp},
                  {7, 5, 1, 2, EdgeMode::Wrap},      {9, 7, 2, 1, EdgeMode::Clamp}};
    for (const auto& sheet : sheets) {
        const test::Image image = randomImage(random, GetParam().mode->palette, sheet.width, sheet.height, 8);
        const std::vector<Pixel> whole = enlarged(image, sheet.edges, sheet.cellWidth, sheet.cellHeight);
        for (std::int32_t top = 0; top < sheet.height; top += sheet.cellHeight)
            for (std::int32_t left = 0; left < sheet.width; left += sheet.cellWidth) {
                const std::int32_t width = std::min(sheet.cellWidth, sheet.width - left);
                const std::int32_t height = std::min(sheet.cellHeight, sheet.height - top);
                const test::Image cell = test::makeImage(width, height, [&](std::int32_t x, std::int32_t y) {
                    return image.at(left + x, top + y);
                });
                EXPECT_TRUE(holds(whole, sheet.width, enlarged(cell, sheet.edges), width, height, left, top))
                    << sheet.width << "x" << sheet.height << " in cells of " << sheet.cellWidth << "x"
                    << sheet.cellHeight;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Factors, EdgeModes, everyModeAndFactor,
                         [](const testing::TestParamInfo<ModeFactor>& info) { return nameOf(info.param); });

} // namespace
} // namespace tessera

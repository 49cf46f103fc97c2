// Whole images through upscale: the frame of every call (what is written, what is
// left alone) and exact cell values at factors 2 and 3.
#include "test_images.h"

#include <gtest/gtest.h>
#include <vector>

namespace tessera {
namespace {

using test::black;
using test::Enlarged;
using test::grey;
using test::Image;
using test::white;

constexpr Pixel sentinel = 0x5A5A5A5Au;

class EveryFactor : public testing::TestWithParam<int> {};

TEST_P(EveryFactor, OnePixelGivesItsBlock) {
    const int factor = GetParam();
    const Pixel source = 0xFF123456u;
    std::vector<Pixel> target(factor * factor + 1, sentinel);
    upscale(factor, &source, target.data(), 1, 1, ScaleSettings{}, INT32_MAX);
    for (int i = 0; i < factor * factor; ++i)
        EXPECT_EQ(target[i], source) << "cell " << i;
    EXPECT_EQ(target.back(), sentinel);
}

TEST_P(EveryFactor, UngradedImagesArePlainReplication) {
    const int factor = GetParam();
    const Image images[] = {
        test::makeImage(6, 4, [](auto, auto) { return 0xFF808080u; }),
        test::makeImage(7, 7, [](auto x, auto y) { return (x + y) % 2 ? white : black; }),
        test::makeImage(1, 9, [](auto, auto y) { return 0xFF000000u | static_cast<Pixel>(y * 40); }),
        test::makeImage(9, 1, [](auto x, auto) { return 0xFF000000u | static_cast<Pixel>(x * 25) << 8; }),
    };
    for (const Image& image : images) {
        const Enlarged out = test::enlarge(image, factor);
        for (std::int32_t y = 0; y < image.height; ++y)
            for (std::int32_t x = 0; x < image.width; ++x)
                for (int r = 0; r < factor; ++r)
                    for (int c = 0; c < factor; ++c)
                        ASSERT_EQ(out.cell(x, y, r, c), image.at(x, y))
                            << image.width << "x" << image.height << " pixel (" << x << "," << y << ")";
    }
}

TEST_P(EveryFactor, RowEndStopsTheWritesButNotTheReads) {
    const int factor = GetParam();
    const Image image = test::diagonalImage();
    const Enlarged whole = test::enlarge(image, factor);
    const std::size_t rowPixels = static_cast<std::size_t>(whole.width) * factor;
    for (std::int32_t rowEnd = 1; rowEnd < image.height; ++rowEnd) {
        std::vector<Pixel> target(whole.pixels.size(), sentinel);
        upscale(factor, image.pixels.data(), target.data(), image.width, image.height, ScaleSettings{},
                rowEnd);
        for (std::size_t i = 0; i < target.size(); ++i)
            ASSERT_EQ(target[i], i < rowEnd * rowPixels ? whole.pixels[i] : sentinel)
                << "rowEnd " << rowEnd << " element " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Factors, EveryFactor, testing::Values(2, 3, 4, 5));

struct NoWriteCase {
    const char* name;
    std::int32_t factor, width, height, rowEnd;
};

class WritesNothing : public testing::TestWithParam<NoWriteCase> {};

TEST_P(WritesNothing, LeavesTheTargetAlone) {
    const NoWriteCase& c = GetParam();
    const std::vector<Pixel> source(64, white);
    std::vector<Pixel> target(64 * 36, sentinel);
    upscale(c.factor, source.data(), target.data(), c.width, c.height, ScaleSettings{}, c.rowEnd);
    for (Pixel p : target)
        ASSERT_EQ(p, sentinel) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, WritesNothing,
    testing::Values(NoWriteCase{"factor 1", 1, 4, 4, INT32_MAX}, NoWriteCase{"factor 6", 6, 4, 4, INT32_MAX},
                    NoWriteCase{"factor 0", 0, 4, 4, INT32_MAX},
                    NoWriteCase{"factor -4", -4, 4, 4, INT32_MAX}, NoWriteCase{"width 0", 4, 0, 4, INT32_MAX},
                    NoWriteCase{"width -3", 4, -3, 4, INT32_MAX}, NoWriteCase{"height 0", 4, 4, 0, INT32_MAX},
                    NoWriteCase{"height -1", 4, 4, -1, INT32_MAX}, NoWriteCase{"rowEnd 0", 4, 4, 4, 0},
                    NoWriteCase{"rowEnd negative", 4, 4, 4, INT32_MIN}));

// Expected cells of one source pixel's block; every cell not listed keeps the source
// pixel. Blended cells carry alpha 0; cells set outright carry the colour's word.
struct CellValue {
    std::int32_t x, y, row, column;
    Pixel word;
};

constexpr Pixel blended(std::uint32_t value) {
    return grey(value, 0);
}

void expectCells(const Image& image, int factor, const std::vector<CellValue>& cells) {
    std::vector<Pixel> expected(static_cast<std::size_t>(image.width) * image.height * factor * factor);
    const std::int32_t targetWidth = image.width * factor;
    for (std::int32_t y = 0; y < image.height * factor; ++y)
        for (std::int32_t x = 0; x < targetWidth; ++x)
            expected[static_cast<std::size_t>(y) * targetWidth + x] = image.at(x / factor, y / factor);
    for (const CellValue& c : cells)
        expected[static_cast<std::size_t>(c.y * factor + c.row) * targetWidth + c.x * factor + c.column] =
            c.word;
    const Enlarged out = test::enlarge(image, factor);
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(out.pixels[i], expected[i])
            << "source pixel (" << i % targetWidth / factor << "," << i / targetWidth / factor << ") cell ("
            << i / targetWidth % factor << "," << i % targetWidth % factor << ")";
}

TEST(FactorTwoImage, DiagonalEdge) {
    std::vector<CellValue> cells = {{0, 1, 0, 0, blended(63)},
                                    {0, 1, 0, 1, blended(191)},
                                    {6, 7, 0, 1, blended(191)},
                                    {6, 7, 1, 1, blended(63)}};
    for (std::int32_t x = 1; x <= 5; ++x)
        cells.push_back({x, x + 1, 0, 1, blended(127)});
    for (std::int32_t x = 1; x <= 6; ++x)
        cells.push_back({x, x, 1, 0, blended(127)});
    expectCells(test::diagonalImage(), 2, cells);
}

TEST(FactorTwoImage, ShallowEdge) {
    std::vector<CellValue> cells = {{9, 5, 0, 1, blended(53)}};
    for (std::int32_t k = 0; k < 4; ++k) {
        const std::int32_t x = 2 * k + 1, y = k + 1;
        cells.push_back({x, y, 0, 0, blended(63)});
        cells.push_back({x, y, 0, 1, blended(191)});
        cells.push_back({x + 1, y, 1, 0, blended(63)});
        cells.push_back({x + 1, y, 1, 1, blended(191)});
    }
    expectCells(test::shallowEdgeImage(), 2, cells);
}

TEST(FactorTwoImage, LoneDots) {
    expectCells(test::dotImage(5, 2, 2, white, black), 2,
                {{2, 2, 0, 0, blended(53)},
                 {2, 2, 0, 1, blended(53)},
                 {2, 2, 1, 0, blended(53)},
                 {2, 2, 1, 1, blended(53)}});
    expectCells(test::dotImage(5, 0, 0, white, black), 2, {{0, 0, 1, 1, blended(53)}});
}

TEST(FactorThreeImage, DiagonalEdge) {
    std::vector<CellValue> cells = {{0, 1, 0, 0, blended(63)}, {0, 1, 0, 1, blended(191)},
                                    {0, 1, 1, 2, blended(63)}, {0, 1, 0, 2, white},
                                    {6, 7, 0, 1, blended(63)}, {6, 7, 1, 2, blended(191)},
                                    {6, 7, 2, 2, blended(63)}, {6, 7, 0, 2, white}};
    for (std::int32_t x = 1; x <= 5; ++x) {
        cells.push_back({x, x + 1, 0, 1, blended(31)});
        cells.push_back({x, x + 1, 0, 2, blended(223)});
        cells.push_back({x, x + 1, 1, 2, blended(31)});
    }
    for (std::int32_t x = 1; x <= 6; ++x) {
        cells.push_back({x, x, 1, 0, blended(223)});
        cells.push_back({x, x, 2, 0, blended(31)});
        cells.push_back({x, x, 2, 1, blended(223)});
    }
    expectCells(test::diagonalImage(), 3, cells);
}

TEST(FactorThreeImage, ShallowEdge) {
    std::vector<CellValue> cells = {{9, 5, 0, 2, blended(114)}};
    for (std::int32_t k = 0; k < 4; ++k) {
        const std::int32_t x = 2 * k + 1, y = k + 1;
        cells.push_back({x, y, 0, 0, blended(63)});
        cells.push_back({x, y, 0, 1, blended(191)});
        cells.push_back({x, y, 1, 2, blended(63)});
        cells.push_back({x, y, 0, 2, white});
        cells.push_back({x + 1, y, 1, 0, blended(191)});
        cells.push_back({x + 1, y, 2, 1, blended(63)});
        cells.push_back({x + 1, y, 2, 2, blended(191)});
        cells.push_back({x + 1, y, 2, 0, black});
    }
    expectCells(test::shallowEdgeImage(), 3, cells);
}

TEST(FactorThreeImage, LoneDotKeepsItsCross) {
    expectCells(test::dotImage(5, 2, 2, white, black), 3,
                {{2, 2, 0, 0, blended(114)},
                 {2, 2, 0, 2, blended(114)},
                 {2, 2, 2, 0, blended(114)},
                 {2, 2, 2, 2, blended(114)}});
}

} // namespace
} // namespace tessera

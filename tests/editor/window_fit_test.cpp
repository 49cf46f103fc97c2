// The start-up layout in a resized window: where its square lies, and which layout point each
// window pixel shows, so that the pointer acts on what is drawn under it.
#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <tessera/editor/window_fit.h>

namespace {

struct FitCase {
    const char* name;
    std::uint32_t width, height; // the window now
    std::int32_t layoutSize;     // W at start-up
    LayoutFit fit;
    // Window pixels and the layout points they must give.
    std::vector<std::pair<LayoutPoint, LayoutPoint>> points;
};

class WindowFit : public testing::TestWithParam<FitCase> {};

TEST_P(WindowFit, CarriesThePointerBackToTheStartUpLayout) {
    const FitCase& c = GetParam();
    const LayoutFit fit = fitLayout(c.width, c.height);
    EXPECT_EQ(fit.left, c.fit.left);
    EXPECT_EQ(fit.top, c.fit.top);
    EXPECT_EQ(fit.side, c.fit.side);
    for (const auto& [window, layout] : c.points) {
        const LayoutPoint got = toLayoutPoint(fit, c.layoutSize, window.x, window.y);
        EXPECT_EQ(got.x, layout.x) << "window pixel (" << window.x << ", " << window.y << ")";
        EXPECT_EQ(got.y, layout.y) << "window pixel (" << window.x << ", " << window.y << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Windows, WindowFit,
    testing::Values(
        // Unresized, every pixel is its own point, outside the window as well.
        FitCase{
            "StartUpSize",
            800,
            800,
            800,
            {0, 0, 800},
            {{{0, 0}, {0, 0}}, {{799, 768}, {799, 768}}, {{-1, -19}, {-1, -19}}, {{900, 805}, {900, 805}}}},
        // Wider: bars of 100 at the sides, the square unscaled.
        FitCase{"Widened",
                1000,
                800,
                800,
                {100, 0, 800},
                {{{100, 0}, {0, 0}}, {{99, 10}, {-1, 10}}, {{899, 799}, {799, 799}}, {{900, 0}, {800, 0}}}},
        // An odd pixel left over goes to the right bar.
        FitCase{"WidenedByAnOddWidth",
                1001,
                800,
                800,
                {100, 0, 800},
                {{{100, 400}, {0, 400}}, {{900, 400}, {800, 400}}}},
        // Larger both ways, 5/4 of the layout: pixel 24 shows layout 19.6, pixel 25 shows 20.4.
        FitCase{"Enlarged",
                1000,
                1000,
                800,
                {0, 0, 1000},
                {{{24, 25}, {19, 20}}, {{999, 0}, {799, 0}}, {{-1, -2}, {-1, -2}}}},
        // Smaller and taller: half size, bars of 100 above and below.
        FitCase{"ShrunkAndTall",
                400,
                600,
                800,
                {0, 100, 400},
                {{{0, 100}, {1, 1}},
                 {{9, 109}, {19, 19}},
                 {{10, 110}, {21, 21}},
                 {{0, 99}, {1, -1}},
                 {{399, 499}, {799, 799}}}},
        // A window of no area shows nothing: the pointer is below the bar, where nothing reacts.
        FitCase{"NoArea", 0, 600, 800, {0, 300, 0}, {{{5, 5}, {0, 800}}}},
        // Far outside a tiny window, the point is clamped to the 32-bit range.
        FitCase{"FarOutside", 1, 1, 8192, {0, 0, 1}, {{{INT_MIN, INT_MAX}, {INT_MIN, INT_MAX}}}}),
    [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

} // namespace

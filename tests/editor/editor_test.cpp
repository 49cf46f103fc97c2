// The editor's state and reactions without a window: derived sizes and refused settings, start-up,
// painting, palette picks, the eyedropper, Escape, the keys, the enlargement copied into the
// preview, and the palette bar's rectangles.
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <tessera/editor/editor.h>
#include <vector>

namespace {

EditorSettings settingsOf(std::int32_t windowSize, std::int32_t scaleFactor, std::int32_t zoom) {
    EditorSettings settings;
    settings.windowSize = windowSize;
    settings.scaleFactor = scaleFactor;
    settings.zoom = zoom;
    return settings;
}

EditorSettings withPalette(EditorSettings settings, const std::vector<Colour>& colours) {
    settings.palette = Palette{};
    for (std::size_t i = 0; i < colours.size(); ++i)
        settings.palette[i] = colours[i];
    settings.paletteCount = static_cast<std::int32_t>(colours.size());
    return settings;
}

struct Cell {
    std::int32_t x, y;
    friend bool operator==(const Cell&, const Cell&) = default;
};

// The cells whose colour differs from `background`.
std::vector<Cell> cellsNotOf(const EditorState& state, Pixel background) {
    std::vector<Cell> cells;
    for (std::int32_t y = 0; y < state.layout.canvasHeight; ++y)
        for (std::int32_t x = 0; x < state.layout.canvasWidth; ++x)
            if (state.canvas[static_cast<std::size_t>(y * state.layout.canvasWidth + x)] != background)
                cells.push_back({x, y});
    return cells;
}

void setPreviewPixel(EditorState& state, std::int32_t column, std::int32_t row, Colour c) {
    const std::size_t offset =
        (static_cast<std::size_t>(row) * static_cast<std::size_t>(state.layout.previewWidth) +
         static_cast<std::size_t>(column)) *
        4;
    state.preview[offset + 0] = c.r;
    state.preview[offset + 1] = c.g;
    state.preview[offset + 2] = c.b;
    state.preview[offset + 3] = c.a;
}

MouseInput left(std::int32_t x, std::int32_t y) {
    return {true, false, x, y};
}

MouseInput right(std::int32_t x, std::int32_t y) {
    return {false, true, x, y};
}

constexpr Colour white{255, 255, 255, 255};
constexpr Colour red{255, 0, 0, 255};
constexpr Colour green{0, 255, 0, 255};
constexpr Colour blue{0, 0, 255, 255};

} // namespace

// ---------------------------------------------------------------------------------------------
// Derived sizes and refused settings

struct LayoutCase {
    const char* name;
    std::int32_t windowSize, scaleFactor, zoom; // as read from the file
    std::int32_t acceptedWindow, acceptedFactor, acceptedZoom;
    std::int64_t cellSize;
    std::int32_t canvasWidth;
};

class EditorLayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(EditorLayoutTest, DerivesSizesAfterRefusingUnusableSettings) {
    const LayoutCase& c = GetParam();
    const EditorLayout layout = deriveLayout(settingsOf(c.windowSize, c.scaleFactor, c.zoom));
    EXPECT_EQ(layout.windowSize, c.acceptedWindow) << c.name;
    EXPECT_EQ(layout.scaleFactor, c.acceptedFactor) << c.name;
    EXPECT_EQ(layout.zoom, c.acceptedZoom) << c.name;
    EXPECT_EQ(layout.cellSize, c.cellSize) << c.name;
    EXPECT_EQ(layout.canvasWidth, c.canvasWidth) << c.name;
    EXPECT_EQ(layout.canvasHeight, c.canvasWidth) << c.name;
    EXPECT_EQ(layout.previewWidth, c.canvasWidth * c.acceptedFactor) << c.name;
    EXPECT_EQ(layout.previewHeight, c.canvasWidth * c.acceptedFactor) << c.name;
    const auto cells = static_cast<std::size_t>(c.canvasWidth) * static_cast<std::size_t>(c.canvasWidth);
    EXPECT_EQ(layout.cellCount, cells) << c.name;
    EXPECT_EQ(layout.targetCount, cells * static_cast<std::size_t>(c.acceptedFactor * c.acceptedFactor))
        << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EditorLayoutTest,
    testing::Values(
        // Defaults: 20-pixel cells, 40 × 40 canvas, 160 × 160 preview.
        LayoutCase{"Defaults", 800, 4, 5, 800, 4, 5, 20, 40},
        // A window that is no multiple of the cell leaves strips on the right and at the bottom.
        LayoutCase{"NoMultiple", 810, 4, 5, 810, 4, 5, 20, 40},
        LayoutCase{"Factor2", 400, 2, 5, 400, 2, 5, 10, 40},
        LayoutCase{"Factor3", 400, 3, 5, 400, 3, 5, 15, 26},
        LayoutCase{"Factor5", 400, 5, 5, 400, 5, 5, 25, 16},
        LayoutCase{"Zoom1", 800, 2, 1, 800, 2, 1, 2, 400},
        // The largest canvas: 4096 × 4096 cells, an 8192 × 8192 enlargement.
        LayoutCase{"Largest", 8192, 2, 1, 8192, 2, 1, 2, 4096},
        LayoutCase{"LargestFactor5", 8192, 5, 1, 8192, 5, 1, 5, 1638},
        // A window smaller than one cell has a canvas of no cells.
        LayoutCase{"SmallerThanACell", 19, 4, 5, 19, 4, 5, 20, 0},
        LayoutCase{"OnePixelWindow", 1, 2, 1, 1, 2, 1, 2, 0},
        LayoutCase{"ExactlyOneCell", 20, 4, 5, 20, 4, 5, 20, 1}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Refusals, EditorLayoutTest,
    testing::Values(
        // A window size outside 1..8192 becomes 800.
        LayoutCase{"WindowZero", 0, 4, 5, 800, 4, 5, 20, 40},
        LayoutCase{"WindowNegative", -800, 4, 5, 800, 4, 5, 20, 40},
        LayoutCase{"WindowTooLarge", 8193, 4, 5, 800, 4, 5, 20, 40},
        LayoutCase{"WindowInt32Max", INT32_MAX, 4, 5, 800, 4, 5, 20, 40},
        LayoutCase{"WindowInt32Min", INT32_MIN, 4, 5, 800, 4, 5, 20, 40},
        // A factor outside 2..5 becomes 4.
        LayoutCase{"FactorZero", 800, 0, 5, 800, 4, 5, 20, 40},
        LayoutCase{"FactorOne", 800, 1, 5, 800, 4, 5, 20, 40},
        LayoutCase{"FactorSix", 800, 6, 5, 800, 4, 5, 20, 40},
        LayoutCase{"FactorNegative", 800, -3, 5, 800, 4, 5, 20, 40},
        LayoutCase{"FactorInt32Max", 800, INT32_MAX, 5, 800, 4, 5, 20, 40},
        // A zoom below 1 becomes 5.
        LayoutCase{"ZoomZero", 800, 4, 0, 800, 4, 5, 20, 40},
        LayoutCase{"ZoomNegative", 800, 4, -5, 800, 4, 5, 20, 40},
        LayoutCase{"ZoomInt32Min", 800, 4, INT32_MIN, 800, 4, 5, 20, 40},
        // A huge zoom is kept: the cell size leaves the 32-bit range and the canvas has no cells.
        LayoutCase{"ZoomInt32Max", 800, 5, INT32_MAX, 800, 5, INT32_MAX, std::int64_t{INT32_MAX} * 5, 0},
        LayoutCase{"ZoomLargerThanWindow", 800, 2, 401, 800, 2, 401, 802, 0},
        LayoutCase{"AllRefused", 0, 0, 0, 800, 4, 5, 20, 40}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

// Every accepted combination keeps the enlargement within the window and every size positive.
TEST(EditorLayoutBounds, PreviewNeverExceedsTheWindow) {
    for (std::int32_t w : {1, 2, 31, 32, 33, 799, 800, 810, 4095, 8191, 8192})
        for (std::int32_t f = 2; f <= 5; ++f)
            for (std::int32_t z : {1, 2, 3, 7, 100, 4096, 8192, INT32_MAX}) {
                const EditorLayout layout = deriveLayout(settingsOf(w, f, z));
                ASSERT_GE(layout.canvasWidth, 0);
                ASSERT_LE(std::int64_t{layout.canvasWidth} * layout.cellSize, w);
                ASSERT_LE(std::int64_t{layout.previewWidth} * layout.zoom, w);
                ASSERT_EQ(layout.targetCount, static_cast<std::size_t>(layout.previewWidth) *
                                                  static_cast<std::size_t>(layout.previewHeight));
            }
}

// ---------------------------------------------------------------------------------------------
// Start-up

TEST(EditorStart, FillsTheCanvasWithEntryZeroAndPaintsWithEntryOne) {
    const EditorState state = startEditor(EditorSettings{});
    EXPECT_EQ(state.canvas.size(), 1600u);
    EXPECT_EQ(state.target.size(), 160u * 160u);
    EXPECT_EQ(state.preview.size(), 160u * 160u * 4u);
    for (Pixel p : state.canvas)
        ASSERT_EQ(p, 0xFF000000u);
    for (std::size_t i = 0; i < state.preview.size(); ++i)
        ASSERT_EQ(state.preview[i], i % 4 == 3 ? 255 : 0) << "byte " << i;
    EXPECT_EQ(state.currentColour, white);
    EXPECT_EQ(state.selectedIndex, 1);
    EXPECT_EQ(state.paletteCount, 16);
}

TEST(EditorStart, TwoColourPaletteStartsInTheFirstAndPaintsTheSecond) {
    const EditorState state = startEditor(withPalette(EditorSettings{}, {red, blue}));
    for (Pixel p : state.canvas)
        ASSERT_EQ(p, 0xFFFF0000u);
    EXPECT_EQ(state.currentColour, blue);
    EXPECT_EQ(state.selectedIndex, 1);
}

TEST(EditorStart, CanvasCellsAreOpaqueWhateverTheEntrysAlpha) {
    const EditorState state = startEditor(withPalette(EditorSettings{}, {{1, 2, 3, 0}, blue}));
    EXPECT_EQ(state.canvas[0], 0xFF010203u);
}

TEST(EditorStart, UnusablePaletteCountFallsBackToTheBuiltInPalette) {
    for (std::int32_t count : {INT32_MIN, -1, 0, 1, 257, INT32_MAX}) {
        EditorSettings settings = withPalette(EditorSettings{}, {red, blue});
        settings.paletteCount = count;
        const EditorState state = startEditor(settings);
        EXPECT_EQ(state.paletteCount, 16) << count;
        EXPECT_EQ(state.palette, builtInPalette()) << count;
    }
}

TEST(EditorStart, ReleaseEmptiesCanvasTargetAndPreview) {
    EditorState state = startEditor(EditorSettings{});
    releaseBuffers(state);
    EXPECT_EQ(state.canvas.capacity(), 0u);
    EXPECT_EQ(state.target.capacity(), 0u);
    EXPECT_EQ(state.preview.capacity(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Painting with the left button

struct PaintCase {
    const char* name;
    std::int32_t windowSize;
    std::int32_t x, y;
    std::optional<Cell> painted;
};

class EditorPaint : public testing::TestWithParam<PaintCase> {};

TEST_P(EditorPaint, PaintsTheCellUnderThePointer) {
    const PaintCase& c = GetParam();
    EditorState state = startEditor(settingsOf(c.windowSize, 4, 5));
    applyMouse(state, left(c.x, c.y));
    const std::vector<Cell> expected = c.painted ? std::vector<Cell>{*c.painted} : std::vector<Cell>{};
    EXPECT_EQ(cellsNotOf(state, 0xFF000000u), expected) << c.name;
    if (c.painted) {
        EXPECT_EQ(state.canvas[static_cast<std::size_t>(c.painted->y * 40 + c.painted->x)], 0xFFFFFFFFu)
            << c.name;
    }
    // Painting never touches the selection.
    EXPECT_EQ(state.selectedIndex, 1) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, EditorPaint,
    testing::Values(PaintCase{"TopLeft", 800, 0, 0, Cell{0, 0}},
                    PaintCase{"LastPixelOfFirstCell", 800, 19, 19, Cell{0, 0}},
                    PaintCase{"FirstPixelOfSecondCell", 800, 20, 20, Cell{1, 1}},
                    PaintCase{"RightEdge", 800, 799, 100, Cell{39, 5}},
                    // y = H − 32 still paints, in cell row 38.
                    PaintCase{"BorderWithTheBar", 800, 100, 768, Cell{5, 38}},
                    // Truncation towards zero: up to cellSize − 1 pixels outside paints column or row 0.
                    PaintCase{"OneLeftOfTheWindow", 800, -1, 50, Cell{0, 2}},
                    PaintCase{"NineteenLeftOfTheWindow", 800, -19, 50, Cell{0, 2}},
                    PaintCase{"OneAboveTheWindow", 800, 50, -1, Cell{2, 0}},
                    PaintCase{"NineteenAboveTheWindow", 800, 50, -19, Cell{2, 0}},
                    PaintCase{"AboveAndLeft", 800, -19, -19, Cell{0, 0}},
                    // A whole cell or more outside paints nothing.
                    PaintCase{"TwentyLeftOfTheWindow", 800, -20, 50, std::nullopt},
                    PaintCase{"TwentyAboveTheWindow", 800, 50, -20, std::nullopt},
                    PaintCase{"FarLeft", 800, INT32_MIN, 50, std::nullopt},
                    PaintCase{"FarAbove", 800, 50, INT32_MIN, std::nullopt},
                    PaintCase{"RightOfTheWindow", 800, 800, 50, std::nullopt},
                    PaintCase{"FarRight", 800, INT32_MAX, 50, std::nullopt},
                    // Below the window nothing happens at all.
                    PaintCase{"BelowTheWindow", 800, 50, 800, std::nullopt},
                    PaintCase{"FarBelow", 800, 50, INT32_MAX, std::nullopt}),
    [](const testing::TestParamInfo<PaintCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    WindowNoMultipleOfTheCell, EditorPaint,
    testing::Values(
        // 810 with 20-pixel cells: 40 × 40 cells cover 800 × 800 and leave 10-pixel strips.
        PaintCase{"LastReachableCell", 810, 799, 778, Cell{39, 38}},
        PaintCase{"RightStrip", 810, 805, 100, std::nullopt},
        PaintCase{"RightStripLastPixel", 810, 809, 100, std::nullopt},
        // H − 32 = 778 still paints row 38; from 779 on the bar takes the press.
        PaintCase{"BorderWithTheBar", 810, 100, 778, Cell{5, 38}},
        PaintCase{"JustInsideTheBar", 810, 100, 779, std::nullopt}),
    [](const testing::TestParamInfo<PaintCase>& info) { return std::string(info.param.name); });

TEST(EditorPaintBorder, BarBeginsOneRowBelowTheBorder) {
    // At y = H − 31 the left button picks from the palette instead of painting.
    EditorState state = startEditor(EditorSettings{});
    applyMouse(state, left(130, 769));
    EXPECT_TRUE(cellsNotOf(state, 0xFF000000u).empty());
    EXPECT_EQ(state.selectedIndex, 2); // 130 ÷ 50
    EXPECT_EQ(state.currentColour, DefaultPalette[2]);
}

TEST(EditorPaintBorder, RowUnderTheBarIsOutOfReach) {
    // Canvas row 39 (y 780 .. 799) lies under the bar: the mouse picks there, Escape still fills it.
    EditorState state = startEditor(EditorSettings{});
    for (std::int32_t y = 769; y < 800; ++y)
        applyMouse(state, left(405, y));
    EXPECT_TRUE(cellsNotOf(state, 0xFF000000u).empty());
    clearCanvas(state);
    EXPECT_EQ(state.canvas.back(), toPixel(DefaultPalette[8]));
}

TEST(EditorPaintBorder, EveryRowAboveTheBarIsPaintedOnItsCell) {
    EditorState state = startEditor(EditorSettings{});
    for (std::int32_t y = 0; y <= 768; ++y)
        applyMouse(state, left(7 * 20, y));
    const std::vector<Cell> painted = cellsNotOf(state, 0xFF000000u);
    ASSERT_EQ(painted.size(), 39u);
    for (std::int32_t row = 0; row < 39; ++row)
        EXPECT_EQ(painted[static_cast<std::size_t>(row)], (Cell{7, row}));
}

TEST(EditorMouse, LeftButtonWinsOverRight) {
    EditorState state = startEditor(EditorSettings{});
    setPreviewPixel(state, 0, 0, red);
    applyMouse(state, MouseInput{true, true, 0, 0});
    EXPECT_EQ(state.currentColour, white);
    EXPECT_EQ(state.canvas[0], 0xFFFFFFFFu);
}

TEST(EditorMouse, NoButtonDoesNothing) {
    EditorState state = startEditor(EditorSettings{});
    const std::vector<Pixel> before = state.canvas;
    applyMouse(state, MouseInput{false, false, 100, 100});
    applyMouse(state, MouseInput{false, false, 100, 790});
    EXPECT_EQ(state.canvas, before);
    EXPECT_EQ(state.selectedIndex, 1);
}

TEST(EditorMouse, PaintsWithAnEyedroppedColour) {
    EditorState state = startEditor(EditorSettings{});
    setPreviewPixel(state, 3, 3, {12, 34, 56, 255});
    applyMouse(state, right(15, 15)); // preview (3, 3)
    applyMouse(state, left(700, 10));
    EXPECT_EQ(state.canvas[35], 0xFF0C2238u);
}

// ---------------------------------------------------------------------------------------------
// Palette picks

struct PickCase {
    const char* name;
    std::int32_t windowSize;
    std::int32_t paletteCount;
    std::int32_t x;
    std::int32_t selected; // -2: nothing changes
};

class EditorPick : public testing::TestWithParam<PickCase> {};

TEST_P(EditorPick, SelectsTheSwatchUnderThePointer) {
    const PickCase& c = GetParam();
    std::vector<Colour> colours;
    for (std::int32_t i = 0; i < c.paletteCount; ++i)
        colours.push_back({static_cast<std::uint8_t>(i), 100, 200, 255});
    EditorState state = startEditor(withPalette(settingsOf(c.windowSize, 4, 5), colours));
    const Colour before = state.currentColour;
    // Over the bar: one row above the window's bottom edge.
    applyMouse(state, left(c.x, c.windowSize - 1));
    if (c.selected == -2) {
        EXPECT_EQ(state.selectedIndex, 1) << c.name;
        EXPECT_EQ(state.currentColour, before) << c.name;
    } else {
        EXPECT_EQ(state.selectedIndex, c.selected) << c.name;
        EXPECT_EQ(state.currentColour, colours[static_cast<std::size_t>(c.selected)]) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Swatches, EditorPick,
    testing::Values(
        PickCase{"FirstPixel", 800, 16, 0, 0}, PickCase{"LastPixel", 800, 16, 799, 15},
        PickCase{"LastOfFirstSwatch", 800, 16, 49, 0}, PickCase{"FirstOfSecondSwatch", 800, 16, 50, 1},
        PickCase{"TwoColoursLeftHalf", 800, 2, 399, 0}, PickCase{"TwoColoursRightHalf", 800, 2, 400, 1},
        // 800 ÷ 3 = 266.666…: 266 lies in swatch 0 and 267 in swatch 1.
        PickCase{"ThirdsBefore", 800, 3, 266, 0}, PickCase{"ThirdsAfter", 800, 3, 267, 1},
        PickCase{"ThirdsLast", 800, 3, 799, 2},
        // 256 entries on 800 pixels: 3.125 pixels each.
        PickCase{"Many", 800, 256, 799, 255}, PickCase{"ManyFirst", 800, 256, 3, 0},
        PickCase{"ManySecond", 800, 256, 4, 1},
        // More entries than pixels: every pixel still picks a valid entry.
        PickCase{"NarrowWindow", 40, 256, 39, 249},
        // Outside 0 ≤ x < W nothing changes.
        PickCase{"LeftOfTheWindow", 800, 16, -1, -2}, PickCase{"RightOfTheWindow", 800, 16, 800, -2},
        PickCase{"FarRight", 800, 16, INT32_MAX, -2}, PickCase{"FarLeft", 800, 16, INT32_MIN, -2}),
    [](const testing::TestParamInfo<PickCase>& info) { return std::string(info.param.name); });

// x = 0 picks entry 0 and x = W − 1 entry n − 1, so the single-precision quotient never reaches
// an entry past the palette: window sizes around powers of two and the largest, palette sizes
// whose swatch width is inexact in single precision.
TEST(EditorPickBounds, FirstAndLastPixelPickFirstAndLastEntry) {
    EditorState state = startEditor(EditorSettings{});
    for (std::int32_t w : {256, 257, 799, 800, 1000, 4095, 4097, 8191, 8192})
        for (std::int32_t n : {2, 3, 7, 10, 100, 255, 256}) {
            state.layout.windowSize = w;
            state.paletteCount = n;
            pickPaletteAt(state, 0);
            EXPECT_EQ(state.selectedIndex, 0) << "W=" << w << " n=" << n;
            pickPaletteAt(state, w - 1);
            EXPECT_EQ(state.selectedIndex, n - 1) << "W=" << w << " n=" << n;
        }
}

TEST(EditorPickBounds, RightPressOverTheBarPicksToo) {
    EditorState state = startEditor(EditorSettings{});
    applyMouse(state, right(799, 790));
    EXPECT_EQ(state.selectedIndex, 15);
    EXPECT_EQ(state.currentColour, DefaultPalette[15]);
    applyMouse(state, right(10, 800)); // below the window: nothing
    EXPECT_EQ(state.selectedIndex, 15);
}

// ---------------------------------------------------------------------------------------------
// Eyedropper

TEST(EditorEyedropper, TakesThePreviewPixelUnderThePointer) {
    EditorState state = startEditor(EditorSettings{});
    // Window pixel (37, 52) shows preview pixel (7, 10) at zoom 5.
    setPreviewPixel(state, 7, 10, DefaultPalette[13]);
    applyMouse(state, right(37, 52));
    EXPECT_EQ(state.currentColour, DefaultPalette[13]);
    EXPECT_EQ(state.selectedIndex, 13);
}

TEST(EditorEyedropper, ColourNoEntryHoldsSelectsNothing) {
    EditorState state = startEditor(EditorSettings{});
    setPreviewPixel(state, 0, 0, {1, 2, 3, 255});
    applyMouse(state, right(0, 0));
    EXPECT_EQ(state.currentColour, (Colour{1, 2, 3, 255}));
    EXPECT_EQ(state.selectedIndex, -1);
    const PaletteBar bar = layOutPaletteBar(state);
    for (const BarRectangle& r : bar.outlines)
        EXPECT_EQ(r.outlineThickness, 0.0f);
}

TEST(EditorEyedropper, ColourTwoEntriesHoldSelectsTheLowerIndex) {
    EditorState state = startEditor(withPalette(EditorSettings{}, {red, green, blue, green, blue}));
    setPreviewPixel(state, 1, 1, blue);
    applyMouse(state, right(5, 5));
    EXPECT_EQ(state.selectedIndex, 2);
    setPreviewPixel(state, 1, 1, green);
    applyMouse(state, right(5, 5));
    EXPECT_EQ(state.selectedIndex, 1);
}

TEST(EditorEyedropper, KeepsTheCurrentAlphaAndComparesAllFourChannels) {
    // A palette entry with alpha 0 never equals an eyedropped colour, whose alpha stays 255.
    EditorState state = startEditor(withPalette(EditorSettings{}, {red, {9, 9, 9, 0}, {9, 9, 9, 255}}));
    state.currentColour = red;
    setPreviewPixel(state, 0, 0, {9, 9, 9, 17});
    applyMouse(state, right(0, 0));
    EXPECT_EQ(state.currentColour, (Colour{9, 9, 9, 255}));
    EXPECT_EQ(state.selectedIndex, 2);
}

struct EyedropMissCase {
    const char* name;
    std::int32_t windowSize;
    std::int32_t x, y;
};

class EditorEyedropperMiss : public testing::TestWithParam<EyedropMissCase> {};

TEST_P(EditorEyedropperMiss, SamplesNothingOffTheCells) {
    const EyedropMissCase& c = GetParam();
    EditorState state = startEditor(settingsOf(c.windowSize, 4, 5));
    for (std::size_t i = 0; i < state.preview.size(); i += 4)
        state.preview[i] = 200;
    applyMouse(state, right(c.x, c.y));
    EXPECT_EQ(state.currentColour, white) << c.name;
    EXPECT_EQ(state.selectedIndex, 1) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditorEyedropperMiss,
    testing::Values(
        // Any negative coordinate, even one that would paint column or row 0.
        EyedropMissCase{"OneLeft", 800, -1, 10}, EyedropMissCase{"OneAbove", 800, 10, -1},
        EyedropMissCase{"FarLeft", 800, INT32_MIN, 10},
        // The strips of a window that is no multiple of the cell.
        EyedropMissCase{"RightStrip", 810, 805, 10}, EyedropMissCase{"RightStripFirstPixel", 810, 800, 10},
        EyedropMissCase{"RightOfTheWindow", 800, 800, 10}, EyedropMissCase{"FarRight", 800, INT32_MAX, 10}),
    [](const testing::TestParamInfo<EyedropMissCase>& info) { return std::string(info.param.name); });

TEST(EditorEyedropper, ReachesTheLastPreviewPixel) {
    EditorState state = startEditor(settingsOf(810, 4, 5));
    setPreviewPixel(state, 159, 155, {7, 7, 7, 255});
    applyMouse(state, right(799, 778)); // y = H − 32, row 155
    EXPECT_EQ(state.currentColour, (Colour{7, 7, 7, 255}));
}

// ---------------------------------------------------------------------------------------------
// Escape

TEST(EditorClear, FillsEveryCellWithTheCurrentColourOpaque) {
    EditorState state = startEditor(EditorSettings{});
    applyMouse(state, left(10, 10));
    state.currentColour = {10, 20, 30, 0};
    clearCanvas(state);
    for (Pixel p : state.canvas)
        ASSERT_EQ(p, 0xFF0A141Eu);
}

// ---------------------------------------------------------------------------------------------
// Keys

enum class KeyOutcome { Unchanged, Undone, Redone, Filled };

struct KeyCase {
    const char* name;
    KeyInput key;
    KeyEffect effect;
    KeyOutcome outcome;
};

class EditorKeys : public testing::TestWithParam<KeyCase> {};

// Before each key: two one-cell strokes in white, the second undone.
TEST_P(EditorKeys, ReactToTheKeyAndItsModifiers) {
    const KeyCase& c = GetParam();
    EditorState state = startEditor(EditorSettings{});
    applyMouse(state, left(10, 10));
    applyMouse(state, MouseInput{});
    applyMouse(state, left(30, 10));
    applyMouse(state, MouseInput{});
    applyKey(state, {Key::Z, true, false});

    EXPECT_EQ(applyKey(state, c.key), c.effect) << c.name;
    switch (c.outcome) {
    case KeyOutcome::Unchanged:
        EXPECT_EQ(cellsNotOf(state, 0xFF000000u), (std::vector<Cell>{{0, 0}})) << c.name;
        break;
    case KeyOutcome::Undone:
        EXPECT_EQ(cellsNotOf(state, 0xFF000000u), std::vector<Cell>{}) << c.name;
        break;
    case KeyOutcome::Redone:
        EXPECT_EQ(cellsNotOf(state, 0xFF000000u), (std::vector<Cell>{{0, 0}, {1, 0}})) << c.name;
        break;
    case KeyOutcome::Filled:
        EXPECT_TRUE(cellsNotOf(state, 0xFFFFFFFFu).empty()) << c.name;
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, EditorKeys,
    testing::Values(
        // Escape fills and S saves the preview whatever modifiers are held; Control adds the canvas.
        KeyCase{"Escape", {Key::Escape, false, false}, KeyEffect::None, KeyOutcome::Filled},
        KeyCase{"ControlEscape", {Key::Escape, true, true}, KeyEffect::None, KeyOutcome::Filled},
        KeyCase{"S", {Key::S, false, false}, KeyEffect::SavePreview, KeyOutcome::Unchanged},
        KeyCase{"ShiftS", {Key::S, false, true}, KeyEffect::SavePreview, KeyOutcome::Unchanged},
        KeyCase{"ControlS", {Key::S, true, false}, KeyEffect::SavePreviewAndCanvas, KeyOutcome::Unchanged},
        KeyCase{
            "ControlShiftS", {Key::S, true, true}, KeyEffect::SavePreviewAndCanvas, KeyOutcome::Unchanged},
        // Opening is left to the shell; O alone is a letter like any other.
        KeyCase{"ControlO", {Key::O, true, false}, KeyEffect::OpenCanvas, KeyOutcome::Unchanged},
        KeyCase{"O", {Key::O, false, false}, KeyEffect::None, KeyOutcome::Unchanged},
        KeyCase{"ControlZ", {Key::Z, true, false}, KeyEffect::None, KeyOutcome::Undone},
        KeyCase{"ControlY", {Key::Y, true, false}, KeyEffect::None, KeyOutcome::Redone},
        KeyCase{"ControlShiftZ", {Key::Z, true, true}, KeyEffect::None, KeyOutcome::Redone},
        // Without Control, Z and Y are letters like any other.
        KeyCase{"Z", {Key::Z, false, false}, KeyEffect::None, KeyOutcome::Unchanged},
        KeyCase{"ShiftZ", {Key::Z, false, true}, KeyEffect::None, KeyOutcome::Unchanged},
        KeyCase{"Y", {Key::Y, false, false}, KeyEffect::None, KeyOutcome::Unchanged},
        KeyCase{"ControlOther", {Key::Other, true, true}, KeyEffect::None, KeyOutcome::Unchanged}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Enlargement and preview

class EditorEnlarge : public testing::TestWithParam<std::int32_t> {};

TEST_P(EditorEnlarge, PreviewIsTheScalersEnlargementMadeOpaque) {
    const std::int32_t factor = GetParam();
    EditorState state = startEditor(settingsOf(200, factor, 2));
    // A diagonal stroke and a dot, so an edge-directed enlargement has edges to follow.
    state.currentColour = DefaultPalette[3];
    for (std::int32_t i = 0; i < 10; ++i)
        paintAt(state, static_cast<std::int32_t>(i * state.layout.cellSize),
                static_cast<std::int32_t>(i * state.layout.cellSize));
    paintAt(state, static_cast<std::int32_t>(12 * state.layout.cellSize), 0);
    enlargeCanvas(state);

    std::vector<Pixel> expected(state.layout.targetCount);
    upscale(factor, state.canvas.data(), expected.data(), state.layout.canvasWidth, state.layout.canvasHeight,
            ScaleSettings{}, INT32_MAX);
    ASSERT_EQ(state.target, expected);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(state.preview[4 * i + 0], (expected[i] >> 16) & 0xFF) << "pixel " << i;
        ASSERT_EQ(state.preview[4 * i + 1], (expected[i] >> 8) & 0xFF) << "pixel " << i;
        ASSERT_EQ(state.preview[4 * i + 2], expected[i] & 0xFF) << "pixel " << i;
        ASSERT_EQ(state.preview[4 * i + 3], 255) << "pixel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Factors, EditorEnlarge, testing::Values(2, 3, 4, 5),
                         [](const testing::TestParamInfo<std::int32_t>& info) {
                             return "Factor" + std::to_string(info.param);
                         });

// Frames of random strokes in black and white (edges everywhere for the scaler to follow), fills,
// undos, redos and opened images, each followed by the frame's enlargement of the rows its changes
// reach: target and preview must be what enlarging the whole canvas gives, and a frame without a
// change enlarges nothing.
struct IncrementalCase {
    const char* name;
    std::int32_t factor, side; // side: the canvas's width and height in cells, at zoom 1
};

class EditorIncremental : public testing::TestWithParam<IncrementalCase> {};

TEST_P(EditorIncremental, EnlargesTheChangedRowsToTheWholeCanvassWords) {
    const IncrementalCase& c = GetParam();
    EditorState state = startEditor(settingsOf(c.side * c.factor, c.factor, 1));
    const EditorLayout& layout = state.layout;
    std::mt19937 random(static_cast<std::uint32_t>(c.side * 7 + c.factor));
    const auto below = [&](std::int64_t n) {
        return static_cast<std::int32_t>(random() % n);
    };
    const auto window = static_cast<std::int32_t>(layout.canvasHeight * layout.cellSize);
    const std::vector<std::uint8_t> image{200, 30, 40, 255, 10, 220, 30, 128, 0, 0, 0, 0, 90, 90, 250, 255};
    std::vector<Pixel> expected(layout.targetCount);
    std::vector<std::uint8_t> expectedPreview(layout.targetCount * 4);
    for (int frame = 0; frame < 400; ++frame) {
        switch (below(40)) {
        case 0:
            clearCanvas(state);
            break;
        case 1:
        case 2:
            applyKey(state, {Key::Z, true, false});
            break;
        case 3:
            applyKey(state, {Key::Y, true, false});
            break;
        case 4:
            openImage(state, {2, 2, image}, Clock::now());
            break;
        case 5:
        case 6:
            applyMouse(state, {}); // the stroke ends; nothing changes
            break;
        default:
            // A stroke's cells of one frame.
            for (std::int32_t i = below(3); i >= 0; --i) {
                state.currentColour = DefaultPalette[static_cast<std::size_t>(below(2))];
                paintAt(state, below(window), below(window));
            }
            break;
        }
        const bool changed = state.changedRows.begin < state.changedRows.end;
        enlargeCanvas(state);
        EXPECT_EQ(state.enlargedRows.begin < state.enlargedRows.end, changed) << "frame " << frame;
        upscale(c.factor, state.canvas.data(), expected.data(), layout.canvasWidth, layout.canvasHeight,
                ScaleSettings{}, INT32_MAX);
        pixelsToOpaqueRgba(expected.data(), expected.size(), expectedPreview.data());
        ASSERT_EQ(state.target, expected) << "frame " << frame;
        ASSERT_EQ(state.preview, expectedPreview) << "frame " << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(Canvases, EditorIncremental,
                         testing::Values(IncrementalCase{"Factor2", 2, 12}, IncrementalCase{"Factor3", 3, 12},
                                         IncrementalCase{"Factor4", 4, 12}, IncrementalCase{"Factor5", 5, 12},
                                         // Canvases of three rows and of one: every change reaches a border.
                                         IncrementalCase{"ThreeRows", 2, 3},
                                         IncrementalCase{"OneCell", 2, 1}),
                         [](const testing::TestParamInfo<IncrementalCase>& info) {
                             return std::string(info.param.name);
                         });

struct ReachCase {
    RowSpan changed;
    std::int32_t height;
    RowSpan reached;
};

class EditorReach : public testing::TestWithParam<ReachCase> {};

TEST_P(EditorReach, TwoRowsEitherSideWithinTheCanvas) {
    EXPECT_EQ(rowsToEnlarge(GetParam().changed, GetParam().height), GetParam().reached);
}

INSTANTIATE_TEST_SUITE_P(Spans, EditorReach,
                         testing::Values(ReachCase{{5, 6}, 40, {3, 8}}, ReachCase{{0, 1}, 40, {0, 3}},
                                         ReachCase{{39, 40}, 40, {37, 40}}, ReachCase{{1, 2}, 3, {0, 3}},
                                         ReachCase{{4, 4}, 40, {}}, ReachCase{{0, 0}, 0, {}}));

TEST(EditorPreview, CopyForcesAlphaTo255) {
    EditorState state = startEditor(settingsOf(40, 2, 5)); // 4 × 4 cells, 8 × 8 preview
    state.target[0] = 0x00FF8040u;                         // a blended word carries alpha 0
    state.target[1] = 0x7F010203u;
    state.target.back() = 0xFFFEDCBAu;
    copyTargetToPreview(state, {0, state.layout.canvasHeight});
    const std::vector<std::uint8_t> first(state.preview.begin(), state.preview.begin() + 8);
    EXPECT_EQ(first, (std::vector<std::uint8_t>{0xFF, 0x80, 0x40, 0xFF, 0x01, 0x02, 0x03, 0xFF}));
    const std::vector<std::uint8_t> last(state.preview.end() - 4, state.preview.end());
    EXPECT_EQ(last, (std::vector<std::uint8_t>{0xFE, 0xDC, 0xBA, 0xFF}));
}

// ---------------------------------------------------------------------------------------------
// A canvas of no cells

TEST(EditorNoCells, NothingIsPaintedEnlargedOrEyedroppedButTheBarWorks) {
    EditorState state = startEditor(settingsOf(800, 5, INT32_MAX));
    ASSERT_EQ(state.layout.canvasWidth, 0);
    EXPECT_TRUE(state.canvas.empty());
    EXPECT_TRUE(state.target.empty());
    EXPECT_TRUE(state.preview.empty());
    for (std::int32_t x : {INT32_MIN, -1, 0, 1, 399, 799, 800, INT32_MAX}) {
        applyMouse(state, left(x, 0));
        applyMouse(state, left(x, -1));
        applyMouse(state, right(x, 0));
        applyMouse(state, right(x, 768));
    }
    EXPECT_EQ(state.currentColour, white);
    EXPECT_EQ(state.selectedIndex, 1);
    clearCanvas(state);
    enlargeCanvas(state);
    applyMouse(state, left(799, 790));
    EXPECT_EQ(state.selectedIndex, 15);
    EXPECT_EQ(layOutPaletteBar(state).outlines[15].outlineThickness, 4.0f);
}

TEST(EditorNoCells, WindowSmallerThanTheBar) {
    // With W = 10 the bar spans rows -22 .. 9; the whole window picks.
    EditorState state = startEditor(settingsOf(10, 2, 1));
    ASSERT_EQ(state.layout.canvasWidth, 5);
    // Swatches are 10 ÷ 16 = 0.625 pixels wide: x = W − 1 = 9 reaches entry 14, not 15.
    applyMouse(state, left(9, 0));
    EXPECT_EQ(state.selectedIndex, 14);
    // y = H − 32 = -22 paints: column 4, row -22 ÷ 2 = -11 does not exist.
    applyMouse(state, left(9, -22));
    EXPECT_TRUE(cellsNotOf(state, 0xFF000000u).empty());
}

// ---------------------------------------------------------------------------------------------
// Palette bar

TEST(EditorPaletteBar, SwatchesSplitTheBottomRowsEvenly) {
    const EditorState state = startEditor(EditorSettings{});
    const PaletteBar bar = layOutPaletteBar(state);
    ASSERT_EQ(bar.swatches.size(), 16u);
    ASSERT_EQ(bar.outlines.size(), 16u);
    for (std::size_t j = 0; j < 16; ++j) {
        const BarRectangle& s = bar.swatches[j];
        EXPECT_EQ(s.left, 50.0f * static_cast<float>(j)) << j;
        EXPECT_EQ(s.top, 768.0f) << j;
        EXPECT_EQ(s.width, 50.0f) << j;
        EXPECT_EQ(s.height, 32.0f) << j;
        EXPECT_EQ(s.fill, DefaultPalette[j]) << j;
        EXPECT_EQ(s.outlineThickness, 0.0f) << j;
        const BarRectangle& o = bar.outlines[j];
        EXPECT_EQ(o.left, s.left) << j;
        EXPECT_EQ(o.width, s.width) << j;
        EXPECT_EQ(o.fill, transparentBlack) << j;
        EXPECT_EQ(o.outlineThickness, j == 1 ? 4.0f : 0.0f) << j;
    }
    // White is selected at start-up: its outline is black.
    EXPECT_EQ(bar.outlines[1].outlineColour, opaqueBlack);
}

TEST(EditorPaletteBar, PositionsMultiplyBeforeDividing) {
    EditorState state = startEditor(withPalette(settingsOf(800, 4, 5), {red, green, blue}));
    const PaletteBar bar = layOutPaletteBar(state);
    EXPECT_EQ(bar.swatches[1].left, 800.0f / 3.0f);
    EXPECT_EQ(bar.swatches[2].left, 1600.0f / 3.0f);
    EXPECT_EQ(bar.swatches[2].width, 800.0f / 3.0f);
}

struct OutlineCase {
    const char* name;
    Colour swatch;
    Colour outline;
};

class EditorOutline : public testing::TestWithParam<OutlineCase> {};

TEST_P(EditorOutline, BlueAroundOpaqueBlackBlackAroundTheRest) {
    const OutlineCase& c = GetParam();
    EXPECT_EQ(selectionOutlineColour(c.swatch), c.outline) << c.name;
    EditorState state = startEditor(withPalette(EditorSettings{}, {white, c.swatch}));
    EXPECT_EQ(layOutPaletteBar(state).outlines[1].outlineColour, c.outline) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rule, EditorOutline,
    testing::Values(OutlineCase{"OpaqueBlack", {0, 0, 0, 255}, opaqueBlue},
                    OutlineCase{"White", {255, 255, 255, 255}, opaqueBlack},
                    OutlineCase{"NearlyBlack", {0, 0, 1, 255}, opaqueBlack},
                    OutlineCase{"Blue", {0, 0, 255, 255}, opaqueBlack},
                    // Equality covers all four channels: transparent black is not opaque black.
                    OutlineCase{"TransparentBlack", {0, 0, 0, 0}, opaqueBlack}),
    [](const testing::TestParamInfo<OutlineCase>& info) { return std::string(info.param.name); });

TEST(EditorPaletteBar, OutlineFollowsTheSelection) {
    EditorState state = startEditor(EditorSettings{});
    applyMouse(state, left(10, 790)); // entry 0, opaque black
    PaletteBar bar = layOutPaletteBar(state);
    EXPECT_EQ(bar.outlines[0].outlineThickness, 4.0f);
    EXPECT_EQ(bar.outlines[0].outlineColour, opaqueBlue);
    EXPECT_EQ(bar.outlines[1].outlineThickness, 0.0f);
}

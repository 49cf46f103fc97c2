// The canvas's file as the core sees it: an image laid over the canvas (cropped, placed, composited)
// as one step of the history, and the notice in the title after a save (of image.png, canvas.png
// or both) or an open, and how long it stays.
#include <chrono>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <tessera/editor/editor.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr Pixel white = 0xFFFFFFFFu;

// A 4 × 4 canvas of black cells, with white in cells (1, 0), (2, 0) and (3, 3).
EditorState paintedCanvas() {
    EditorSettings settings;
    settings.windowSize = 40;
    settings.scaleFactor = 2;
    settings.zoom = 5;
    EditorState state = startEditor(settings);
    for (const std::size_t cell : {1, 2, 15})
        state.canvas[cell] = white;
    return state;
}

struct CellColour {
    std::uint32_t x, y;
    Pixel pixel;
};

std::vector<Pixel> canvasChangedAt(const std::vector<CellColour>& cells) {
    std::vector<Pixel> canvas = paintedCanvas().canvas;
    for (const CellColour& cell : cells)
        canvas[cell.y * 4 + cell.x] = cell.pixel;
    return canvas;
}

struct ImageBytes {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;
};

ImageBytes imageOf(std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t> rgba) {
    return {width, height, std::move(rgba)};
}

// Opaque, every pixel a colour of its own: red 16x + 1, green 16y + 1, blue 99.
Pixel opaqueColourAt(std::uint32_t x, std::uint32_t y) {
    return opaquePixel(static_cast<std::uint8_t>(16 * x + 1), static_cast<std::uint8_t>(16 * y + 1), 99);
}

ImageBytes opaqueImage(std::uint32_t width, std::uint32_t height) {
    ImageBytes image{width, height, {}};
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::array<std::uint8_t, 4> rgba = opaqueRgba(opaqueColourAt(x, y));
            image.rgba.insert(image.rgba.end(), rgba.begin(), rgba.end());
        }
    return image;
}

// The cells of the canvas's top-left `width` × `height` taking the opaque image's colours.
std::vector<CellColour> coveredBy(std::uint32_t width, std::uint32_t height) {
    std::vector<CellColour> cells;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            cells.push_back({x, y, opaqueColourAt(x, y)});
    return cells;
}

struct OpenCase {
    const char* name;
    ImageBytes image;
    std::vector<CellColour> changed; // every other cell keeps its colour
    std::string notice;
};

class EditorOpenImage : public testing::TestWithParam<OpenCase> {};

TEST_P(EditorOpenImage, LaysTheImageOverTheTopLeftCellsAsOneStep) {
    const OpenCase& c = GetParam();
    EditorState state = paintedCanvas();
    const std::vector<Pixel> before = state.canvas;
    const Clock::time_point now{};
    openImage(state, {c.image.width, c.image.height, c.image.rgba}, now);

    const std::vector<Pixel> opened = canvasChangedAt(c.changed);
    EXPECT_EQ(state.canvas, opened) << c.name;
    EXPECT_EQ(windowTitle(state, now), "TESSERA.EXE — " + c.notice) << c.name;
    // Undone in one step and redone.
    undoStep(state.history, state.canvas);
    EXPECT_EQ(state.canvas, before) << c.name;
    redoStep(state.history, state.canvas);
    EXPECT_EQ(state.canvas, opened) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EditorOpenImage,
    testing::Values(OpenCase{"SameSize", opaqueImage(4, 4), coveredBy(4, 4), "opened canvas.png"},
                    // Larger: only its top-left 4 × 4 pixels are kept, not a scaled copy or its middle.
                    OpenCase{"Larger", opaqueImage(6, 5), coveredBy(4, 4),
                             "opened canvas.png, 6 × 5 on the 4 × 4 canvas"},
                    // Smaller: the white cells it does not reach stay white.
                    OpenCase{"Smaller", opaqueImage(2, 3), coveredBy(2, 3),
                             "opened canvas.png, 2 × 3 on the 4 × 4 canvas"},
                    OpenCase{"WiderButShorter", opaqueImage(7, 1), coveredBy(4, 1),
                             "opened canvas.png, 7 × 1 on the 4 × 4 canvas"},
                    // Alpha 200 over black and over white, rounded to nearest where truncation would differ:
                    // red 200·200 / 255 = 156.9 → 157 and (200·200 + 255·55) / 255 = 211.9 → 212; green
                    // 10·200 / 255 = 7.8 → 8 and (2000 + 14025) / 255 = 62.8 → 63; blue 14025 / 255 = 55.
                    // Alpha 0 leaves the white cell white whatever its colour bytes.
                    OpenCase{"Translucent",
                             imageOf(3, 1, {200, 10, 0, 200, 200, 10, 0, 200, 9, 9, 9, 0}),
                             {{0, 0, opaquePixel(157, 8, 0)}, {1, 0, opaquePixel(212, 63, 55)}},
                             "opened canvas.png, 3 × 1 on the 4 × 4 canvas"}),
    [](const testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

TEST(EditorOpenImage, EndsTheOpenStrokeFirst) {
    EditorState state = paintedCanvas();
    const std::vector<Pixel> beforeStroke = state.canvas;
    applyMouse(state, {true, false, 5, 5}); // cell (0, 0), the button still down
    const std::vector<Pixel> afterStroke = state.canvas;
    const ImageBytes image = opaqueImage(1, 1);
    openImage(state, {image.width, image.height, image.rgba}, Clock::time_point{});

    undoStep(state.history, state.canvas);
    EXPECT_EQ(state.canvas, afterStroke);
    undoStep(state.history, state.canvas);
    EXPECT_EQ(state.canvas, beforeStroke);
}

// ---------------------------------------------------------------------------------------------
// The notice in the title

struct NoticeCase {
    const char* name;
    std::function<void(EditorState&)> events; // at time 0 and 3 s
    Clock::duration askedAt;
    std::string title;
};

const Clock::time_point start{};

void saved(EditorState& state) {
    const SaveOutcome outcome{canvasFileName, std::nullopt};
    noteSaved(state, {&outcome, 1}, start);
}

// S or Ctrl+S with the outcome of each file, image.png first.
std::function<void(EditorState&)> savedFiles(std::vector<SaveOutcome> outcomes) {
    return [outcomes](EditorState& state) {
        noteSaved(state, outcomes, start);
    };
}

class EditorNotice : public testing::TestWithParam<NoticeCase> {};

TEST_P(EditorNotice, ShowsTheLastOutcomeForFourSeconds) {
    const NoticeCase& c = GetParam();
    EditorState state = paintedCanvas();
    c.events(state);
    EXPECT_EQ(windowTitle(state, start + c.askedAt), c.title) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, EditorNotice,
    testing::Values(
        NoticeCase{"NoneYet", [](EditorState&) {}, 0s, "TESSERA.EXE"},
        NoticeCase{"Saved", saved, 0s, "TESSERA.EXE — saved canvas.png"},
        NoticeCase{"StillThereJustBeforeFourSeconds", saved, 4s - 1ms, "TESSERA.EXE — saved canvas.png"},
        NoticeCase{"GoneAtFourSeconds", saved, 4s, "TESSERA.EXE"},
        NoticeCase{"NotSaved", [](EditorState& state) { noteCanvasSaved(state, "Is a directory", start); },
                   1s, "TESSERA.EXE — could not save canvas.png: Is a directory"},
        NoticeCase{"BothSaved", savedFiles({{previewFileName, std::nullopt}, {canvasFileName, std::nullopt}}),
                   0s, "TESSERA.EXE — saved image.png and canvas.png"},
        // A failure comes first, however the files were ordered, so that a short title shows it.
        NoticeCase{"CanvasNotSaved",
                   savedFiles({{previewFileName, std::nullopt}, {canvasFileName, "No space left on device"}}),
                   0s, "TESSERA.EXE — could not save canvas.png: No space left on device; saved image.png"},
        NoticeCase{
            "NeitherSaved",
            savedFiles({{previewFileName, "No space left on device"}, {canvasFileName, "Is a directory"}}),
            0s,
            "TESSERA.EXE — could not save image.png: No space left on device; could not save canvas.png: "
            "Is a directory"},
        // A later notice replaces the earlier one and lasts four seconds from its own time.
        NoticeCase{"NotOpenedAfterASave",
                   [](EditorState& state) {
                       saved(state);
                       noteCanvasNotOpened(state, "No such file or directory", start + 3s);
                   },
                   6s, "TESSERA.EXE — could not open canvas.png: No such file or directory"}),
    [](const testing::TestParamInfo<NoticeCase>& info) { return std::string(info.param.name); });

} // namespace

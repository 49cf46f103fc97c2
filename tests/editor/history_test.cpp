// Undo and redo through the editor's own reactions: strokes as the mouse samples make them, fills
// by Escape, the keys, the limits on what is kept, and a long random session checked against a
// plain model that keeps every canvas.
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <tessera/editor/editor.h>
#include <vector>

namespace {

constexpr Colour black{0, 0, 0, 255};
constexpr Colour white{255, 255, 255, 255};
constexpr Colour red{255, 0, 0, 255};

// Factor 2 and zoom 5 (cells of 10 pixels) with a palette of black, white and red.
EditorSettings threeColours(std::int32_t windowSize) {
    EditorSettings settings;
    settings.windowSize = windowSize;
    settings.scaleFactor = 2;
    settings.zoom = 5;
    settings.palette[0] = black;
    settings.palette[1] = white;
    settings.palette[2] = red;
    settings.paletteCount = 3;
    return settings;
}

// 20 × 20 cells; the bar covers rows 168 to 199, with swatches 66.7 pixels wide.
EditorState startSmall() {
    return startEditor(threeColours(200));
}

// One frame with the left button down over cell (cx, cy).
void holdOver(EditorState& state, std::int32_t cx, std::int32_t cy) {
    applyMouse(state, {true, false, cx * 10 + 5, cy * 10 + 5});
}

// One frame with the left button down over palette entry j.
void holdOverEntry(EditorState& state, std::int32_t j) {
    applyMouse(state, {true, false, j * 66 + 33, 190});
}

void release(EditorState& state) {
    applyMouse(state, {false, false, 0, 0});
}

void paintOnce(EditorState& state, std::int32_t cx, std::int32_t cy) {
    holdOver(state, cx, cy);
    release(state);
}

void press(EditorState& state, Key key, bool control = true, bool shift = false) {
    applyKey(state, {key, control, shift});
}

Pixel cell(const EditorState& state, std::int32_t cx, std::int32_t cy) {
    return state.canvas[static_cast<std::size_t>(cy * state.layout.canvasWidth + cx)];
}

// The canvas that starts black with the given cells painted.
std::vector<Pixel> canvasWith(const EditorState& state, const std::vector<std::pair<int, int>>& cells,
                              Colour colour = white) {
    std::vector<Pixel> canvas(state.canvas.size(), toPixel(black));
    for (const auto& [cx, cy] : cells)
        canvas[static_cast<std::size_t>(cy * state.layout.canvasWidth + cx)] = toPixel(colour);
    return canvas;
}

} // namespace

TEST(EditorHistory, StrokeAcrossSeveralCellsIsOneStep) {
    EditorState state = startSmall();
    const std::vector<Pixel> blank = state.canvas;
    holdOver(state, 1, 1);
    holdOver(state, 2, 1);
    holdOver(state, 3, 1);
    holdOver(state, 3, 1);
    release(state);
    const std::vector<Pixel> painted = state.canvas;
    ASSERT_EQ(painted, canvasWith(state, {{1, 1}, {2, 1}, {3, 1}}));

    press(state, Key::Z);
    EXPECT_EQ(state.canvas, blank);
    // Nothing older to undo.
    press(state, Key::Z);
    EXPECT_EQ(state.canvas, blank);
    press(state, Key::Y);
    EXPECT_EQ(state.canvas, painted);
    // Nothing newer to redo.
    press(state, Key::Y);
    EXPECT_EQ(state.canvas, painted);
}

TEST(EditorHistory, StrokeLastsWhileTheButtonStaysDownWhereverThePointerGoes) {
    EditorState state = startSmall();
    // From the bar onto the canvas, a pick of red on the way back over the bar, below the window
    // and back: one stroke in two colours.
    holdOverEntry(state, 1);
    holdOver(state, 1, 1);
    holdOverEntry(state, 2);
    applyMouse(state, {true, false, 50, 250});
    holdOver(state, 2, 1);
    release(state);
    EXPECT_EQ(cell(state, 1, 1), toPixel(white));
    EXPECT_EQ(cell(state, 2, 1), toPixel(red));
    press(state, Key::Z);
    EXPECT_EQ(state.canvas, canvasWith(state, {}));
    // The current colour is no part of the history.
    EXPECT_EQ(state.currentColour, red);
    EXPECT_EQ(state.selectedIndex, 2);
}

TEST(EditorHistory, StrokesAndFillsThatChangeNoCellLeaveNoStep) {
    EditorState state = startSmall();
    press(state, Key::Escape); // white everywhere: the one step
    press(state, Key::Escape);
    paintOnce(state, 1, 1);
    // Red, then white again: the cell ends as it began.
    holdOverEntry(state, 2);
    holdOver(state, 2, 2);
    holdOverEntry(state, 1);
    holdOver(state, 2, 2);
    release(state);
    ASSERT_EQ(state.canvas, std::vector<Pixel>(400, toPixel(white)));

    press(state, Key::Z);
    EXPECT_EQ(state.canvas, canvasWith(state, {}));
    press(state, Key::Y);
    press(state, Key::Y);
    EXPECT_EQ(state.canvas, std::vector<Pixel>(400, toPixel(white)));
}

TEST(EditorHistory, EachUndoAndRedoMovesOneStep) {
    EditorState state = startSmall();
    paintOnce(state, 1, 1);
    paintOnce(state, 2, 2);
    paintOnce(state, 3, 3);
    press(state, Key::Z);
    press(state, Key::Z);
    EXPECT_EQ(state.canvas, canvasWith(state, {{1, 1}}));
    press(state, Key::Z, true, true); // Control+Shift+Z redoes
    EXPECT_EQ(state.canvas, canvasWith(state, {{1, 1}, {2, 2}}));
}

TEST(EditorHistory, NewStepDiscardsTheUndoneOnes) {
    EditorState state = startSmall();
    paintOnce(state, 1, 1);
    paintOnce(state, 2, 2);
    press(state, Key::Z);
    paintOnce(state, 3, 3);
    press(state, Key::Y);
    EXPECT_EQ(state.canvas, canvasWith(state, {{1, 1}, {3, 3}}));
    press(state, Key::Z);
    press(state, Key::Z);
    EXPECT_EQ(state.canvas, canvasWith(state, {}));
}

TEST(EditorHistory, UndoDuringAStrokeEndsItFirst) {
    EditorState state = startSmall();
    holdOver(state, 1, 1);
    holdOver(state, 2, 1);
    press(state, Key::Z);
    EXPECT_EQ(state.canvas, canvasWith(state, {}));
    // The button is still down: the next frame paints as ever, and begins a new stroke, which
    // discards the undone one.
    holdOver(state, 2, 1);
    release(state);
    press(state, Key::Z);
    EXPECT_EQ(state.canvas, canvasWith(state, {}));
    press(state, Key::Y);
    press(state, Key::Y);
    EXPECT_EQ(state.canvas, canvasWith(state, {{2, 1}}));
}

TEST(EditorHistory, EscapeDuringAStrokeIsAStepOfItsOwn) {
    EditorState state = startSmall();
    holdOver(state, 1, 1);
    holdOverEntry(state, 2);
    press(state, Key::Escape, false);
    holdOver(state, 1, 1); // red on red: no change
    release(state);
    press(state, Key::Z);
    EXPECT_EQ(state.canvas, canvasWith(state, {{1, 1}}));
    press(state, Key::Z);
    EXPECT_EQ(state.canvas, canvasWith(state, {}));
}

TEST(EditorHistory, StepLimitDropsTheOldestStep) {
    EditorState state = startSmall();
    state.history.limits.maxSteps = 3;
    for (std::int32_t i = 1; i <= 4; ++i)
        paintOnce(state, i, i);
    for (int i = 0; i < 4; ++i)
        press(state, Key::Z);
    EXPECT_EQ(state.canvas, canvasWith(state, {{1, 1}}));
}

TEST(EditorHistory, ByteLimitDropsTheOldestButKeepsTheNewestStep) {
    EditorState state = startSmall();
    state.history.limits.maxBytes = 1; // less than any step holds
    holdOverEntry(state, 2);
    release(state);
    press(state, Key::Escape, false); // red
    holdOverEntry(state, 1);
    release(state);
    press(state, Key::Escape, false); // white
    paintOnce(state, 0, 0);           // changes nothing: no step
    press(state, Key::Z);
    press(state, Key::Z);
    EXPECT_EQ(state.canvas, std::vector<Pixel>(400, toPixel(red)));
}

TEST(EditorHistory, ReleaseEmptiesTheHistory) {
    EditorState state = startSmall();
    press(state, Key::Escape);
    releaseBuffers(state);
    EXPECT_TRUE(state.history.steps.empty());
    EXPECT_EQ(state.history.bytes, 0u);
}

// Random frames of painting, picks mid-stroke, releases, fills, undos and redos on a 10 × 10
// canvas in three colours (so that no-op strokes and fills happen), against a model that keeps
// the canvas after every step. The step limit is reached many times over.
TEST(EditorHistory, LongRandomSessionMatchesAModelThatKeepsEveryCanvas) {
    const EditorSettings settings = threeColours(100); // the bar covers rows 68 to 99
    EditorState state = startEditor(settings);
    constexpr std::size_t maxSteps = 25;
    state.history.limits.maxSteps = maxSteps;

    std::vector<std::vector<Pixel>> canvases{state.canvas}; // canvases[k]: after k kept steps
    std::size_t at = 0;
    std::vector<Pixel> live = state.canvas;
    Pixel current = toPixel(white);
    const auto endStep = [&] {
        if (live == canvases[at])
            return;
        canvases.resize(at + 1);
        canvases.push_back(live);
        if (canvases.size() > maxSteps + 1)
            canvases.erase(canvases.begin());
        at = canvases.size() - 1;
    };

    std::mt19937 random{13};
    for (int op = 0; op < 4000; ++op) {
        const unsigned roll = random() % 100;
        if (roll < 50) {
            const auto x = static_cast<std::int32_t>(random() % 100);
            const auto y = static_cast<std::int32_t>(random() % 69);
            applyMouse(state, {true, false, x, y});
            live[static_cast<std::size_t>(y / 10 * 10 + x / 10)] = current;
        } else if (roll < 60) {
            const std::int32_t j = static_cast<std::int32_t>(random() % 3);
            applyMouse(state, {true, false, j * 33 + 16, 90});
            current = toPixel(settings.palette[static_cast<std::size_t>(j)]);
        } else if (roll < 66) {
            applyMouse(state, {false, false, 0, 0});
            endStep();
        } else if (roll < 72) {
            applyKey(state, {Key::Escape, false, false});
            endStep();
            live.assign(live.size(), current);
            endStep();
        } else if (roll < 88) {
            applyKey(state, {Key::Z, true, false});
            endStep();
            if (at > 0)
                live = canvases[--at];
        } else {
            applyKey(state, roll < 94 ? KeyInput{Key::Y, true, false} : KeyInput{Key::Z, true, true});
            endStep();
            if (at + 1 < canvases.size())
                live = canvases[++at];
        }
        ASSERT_EQ(state.canvas, live) << "after operation " << op;

        // No step holds more than one cell value per cell.
        std::size_t held = 0;
        for (const EditStep& step : state.history.steps)
            held += step.cells.capacity() * sizeof(CellValue) + step.canvas.capacity() * sizeof(Pixel);
        ASSERT_LE(held, maxSteps * state.canvas.size() * sizeof(CellValue)) << "after operation " << op;
    }
}

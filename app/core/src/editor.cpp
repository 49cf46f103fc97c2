#include <algorithm>
#include <pixel_conversion.h>
#include <tessera/editor/editor.h>

namespace {

std::int32_t acceptWindowSize(std::int32_t value) {
    return value >= minWindowSize && value <= maxWindowSize ? value : defaultWindowSize;
}

std::int32_t acceptScaleFactor(std::int32_t value) {
    return value >= minScaleFactor && value <= maxScaleFactor ? value : defaultScaleFactor;
}

std::int32_t acceptZoom(std::int32_t value) {
    return value >= minZoom ? value : defaultZoom;
}

bool holdsUsablePalette(const EditorSettings& settings) {
    return settings.paletteCount >= minPaletteCount && settings.paletteCount <= maxPaletteCount;
}

// The history stores cell indices in 32 bits: the largest canvas, the largest window in cells of
// the smallest size (zoom 1 × the smallest factor), must fit.
constexpr std::int64_t maxCanvasSide = maxWindowSize / minScaleFactor;
static_assert(maxCanvasSide * maxCanvasSide <= std::int64_t{UINT32_MAX});

std::uint32_t cellIndex(const EditorState& state, std::int64_t cx, std::int64_t cy) {
    return static_cast<std::uint32_t>(cy * state.layout.canvasWidth + cx);
}

void showNotice(EditorState& state, std::string text, Clock::time_point now) {
    state.notice = {std::move(text), now + noticeDuration};
}

// Adds the canvas rows that hold the cells `cells` to those changed since the last enlargement.
void noteChangedCells(EditorState& state, CellSpan cells) {
    if (cells.begin >= cells.end)
        return;
    const auto width = static_cast<std::size_t>(state.layout.canvasWidth);
    const RowSpan rows{static_cast<std::int32_t>(cells.begin / width),
                       static_cast<std::int32_t>((cells.end - 1) / width + 1)};
    RowSpan& changed = state.changedRows;
    changed = changed.begin >= changed.end
                  ? rows
                  : RowSpan{std::min(changed.begin, rows.begin), std::max(changed.end, rows.end)};
}

std::string sizeText(std::uint64_t width, std::uint64_t height) {
    return std::to_string(width) + " × " + std::to_string(height);
}

} // namespace

EditorLayout deriveLayout(const EditorSettings& settings) {
    EditorLayout layout;
    layout.windowSize = acceptWindowSize(settings.windowSize);
    layout.scaleFactor = acceptScaleFactor(settings.scaleFactor);
    layout.zoom = acceptZoom(settings.zoom);
    // At most (2^31 - 1) × 5: a 64-bit product cannot overflow.
    layout.cellSize = std::int64_t{layout.zoom} * layout.scaleFactor;
    // At most 8192 ÷ 2, and 0 when one cell is larger than the window.
    layout.canvasWidth = static_cast<std::int32_t>(layout.windowSize / layout.cellSize);
    layout.canvasHeight = layout.canvasWidth;
    // canvasWidth × factor ≤ W ÷ zoom ≤ 8192.
    layout.previewWidth = layout.canvasWidth * layout.scaleFactor;
    layout.previewHeight = layout.canvasHeight * layout.scaleFactor;
    layout.cellCount =
        static_cast<std::size_t>(layout.canvasWidth) * static_cast<std::size_t>(layout.canvasHeight);
    layout.targetCount =
        static_cast<std::size_t>(layout.previewWidth) * static_cast<std::size_t>(layout.previewHeight);
    return layout;
}

EditorState startEditor(const EditorSettings& settings) {
    EditorState state;
    state.layout = deriveLayout(settings);
    if (holdsUsablePalette(settings)) {
        state.palette = settings.palette;
        state.paletteCount = settings.paletteCount;
    } else {
        state.palette = builtInPalette();
        state.paletteCount = static_cast<std::int32_t>(DefaultPalette.size());
    }
    state.canvas.assign(state.layout.cellCount, toPixel(state.palette[0]));
    state.target.assign(state.layout.targetCount, Pixel{0});
    // Opaque black until the first enlargement: the copy of a target of zeros.
    state.preview.resize(state.layout.targetCount * 4);
    copyTargetToPreview(state, {0, state.layout.canvasHeight});
    state.changedRows = {0, state.layout.canvasHeight};
    state.currentColour = state.palette[1];
    state.selectedIndex = 1;
    state.scaleSettings = ScaleSettings{};
    return state;
}

void releaseBuffers(EditorState& state) {
    std::vector<Pixel>().swap(state.canvas);
    state.history = EditHistory{};
    std::vector<Pixel>().swap(state.target);
    std::vector<std::uint8_t>().swap(state.preview);
}

void applyMouse(EditorState& state, const MouseInput& mouse) {
    const std::int32_t h = state.layout.windowSize;
    if (!mouse.left)
        endStroke(state.history, state.canvas);
    if (!mouse.left && !mouse.right)
        return;
    if (mouse.y >= h)
        return;
    // Computed in 64 bits: H − 32 is negative for a window under 32 pixels.
    const bool overCanvas = std::int64_t{mouse.y} <= std::int64_t{h} - paletteBarHeight;
    if (!overCanvas)
        pickPaletteAt(state, mouse.x);
    else if (mouse.left)
        paintAt(state, mouse.x, mouse.y);
    else
        eyedropAt(state, mouse.x, mouse.y);
}

void paintAt(EditorState& state, std::int32_t x, std::int32_t y) {
    // C++ division truncates towards zero: -1 ÷ 20 is 0, so the column left of the window paints
    // column 0 for the first cellSize − 1 pixels.
    const std::int64_t cx = x / state.layout.cellSize;
    const std::int64_t cy = y / state.layout.cellSize;
    if (cx < 0 || cx >= state.layout.canvasWidth || cy < 0 || cy >= state.layout.canvasHeight)
        return;
    noteChangedCells(state, paintCell(state.history, state.canvas, cellIndex(state, cx, cy),
                                      toPixel(state.currentColour)));
}

void pickPaletteAt(EditorState& state, std::int32_t x) {
    const std::int32_t w = state.layout.windowSize;
    if (x < 0 || x >= w)
        return;
    const float swatchWidth = static_cast<float>(w) / static_cast<float>(state.paletteCount);
    // x ≤ W − 1 with W ≤ 8192 and n ≤ 256: the two roundings move the quotient by a factor of
    // at most 1 + 2^-23 from (W − 1) ÷ W × n = n − n ÷ W, and n ÷ W ≥ n × 2^-13 is far more than
    // that, so the quotient stays below n and i indexes a valid entry.
    const auto i = static_cast<std::int32_t>(static_cast<float>(x) / swatchWidth);
    state.selectedIndex = i;
    state.currentColour = state.palette[static_cast<std::size_t>(i)];
}

void eyedropAt(EditorState& state, std::int32_t x, std::int32_t y) {
    const EditorLayout& layout = state.layout;
    if (x < 0 || y < 0 || x >= layout.canvasWidth * layout.cellSize ||
        y >= layout.canvasHeight * layout.cellSize)
        return;
    // x < canvasWidth × zoom × factor, so the column lies inside the preview's width.
    const std::size_t column = static_cast<std::size_t>(x / layout.zoom);
    const std::size_t row = static_cast<std::size_t>(y / layout.zoom);
    const std::size_t offset = (row * static_cast<std::size_t>(layout.previewWidth) + column) * 4;
    state.currentColour.r = state.preview[offset + 0];
    state.currentColour.g = state.preview[offset + 1];
    state.currentColour.b = state.preview[offset + 2];
    state.selectedIndex = -1;
    for (std::int32_t i = 0; i < state.paletteCount; ++i) {
        if (state.palette[static_cast<std::size_t>(i)] == state.currentColour) {
            state.selectedIndex = i;
            break;
        }
    }
}

void clearCanvas(EditorState& state) {
    noteChangedCells(state, fillCanvas(state.history, state.canvas, toPixel(state.currentColour)));
}

KeyEffect applyKey(EditorState& state, const KeyInput& key) {
    switch (key.key) {
    case Key::Escape:
        clearCanvas(state);
        break;
    case Key::S:
        return key.control ? KeyEffect::SavePreviewAndCanvas : KeyEffect::SavePreview;
    case Key::O:
        return key.control ? KeyEffect::OpenCanvas : KeyEffect::None;
    case Key::Z:
        if (key.control && key.shift)
            noteChangedCells(state, redoStep(state.history, state.canvas));
        else if (key.control)
            noteChangedCells(state, undoStep(state.history, state.canvas));
        break;
    case Key::Y:
        if (key.control)
            noteChangedCells(state, redoStep(state.history, state.canvas));
        break;
    case Key::Other:
        break;
    }
    return KeyEffect::None;
}

void openImage(EditorState& state, const RgbaImage& image, Clock::time_point now, std::string_view fileName) {
    const EditorLayout& layout = state.layout;
    const auto width = static_cast<std::size_t>(std::min<std::uint64_t>(image.width, layout.canvasWidth));
    const auto height = static_cast<std::size_t>(std::min<std::uint64_t>(image.height, layout.canvasHeight));
    std::vector<Pixel> next = state.canvas;
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* pixel = &image.rgba[(y * image.width + x) * 4];
            Pixel& cell = next[y * static_cast<std::size_t>(layout.canvasWidth) + x];
            const std::array<std::uint8_t, 4> under = opaqueRgba(cell);
            cell = opaquePixel(tessera::pixels::compositeChannel(pixel[0], pixel[3], under[0]),
                               tessera::pixels::compositeChannel(pixel[1], pixel[3], under[1]),
                               tessera::pixels::compositeChannel(pixel[2], pixel[3], under[2]));
        }
    noteChangedCells(state, replaceCanvas(state.history, state.canvas, std::move(next)));

    std::string text = "opened " + std::string(fileName);
    if (image.width != static_cast<std::uint64_t>(layout.canvasWidth) ||
        image.height != static_cast<std::uint64_t>(layout.canvasHeight))
        text += ", " + sizeText(image.width, image.height) + " on the " +
                sizeText(static_cast<std::uint64_t>(layout.canvasWidth),
                         static_cast<std::uint64_t>(layout.canvasHeight)) +
                " canvas";
    showNotice(state, std::move(text), now);
}

void noteSaved(EditorState& state, std::span<const SaveOutcome> outcomes, Clock::time_point now) {
    std::string failed;
    std::string saved;
    for (const SaveOutcome& outcome : outcomes) {
        if (outcome.failure)
            failed += (failed.empty() ? "" : "; ") + ("could not save " + std::string(outcome.file)) + ": " +
                      *outcome.failure;
        else
            saved += (saved.empty() ? "saved " : " and ") + std::string(outcome.file);
    }
    showNotice(state, failed.empty() || saved.empty() ? failed + saved : failed + "; " + saved, now);
}

void restoreCanvas(EditorState& state, std::span<const Pixel> cells) {
    state.history = EditHistory{};
    // Every cell opaque, whatever the kept words hold.
    std::transform(cells.begin(), cells.end(), state.canvas.begin(),
                   [](Pixel cell) { return cell | Pixel{0xFF000000u}; });
    state.changedRows = {0, state.layout.canvasHeight};
}

void noteCanvasSaved(EditorState& state, const std::optional<std::string>& failure, Clock::time_point now) {
    const SaveOutcome outcome{canvasFileName, failure};
    noteSaved(state, {&outcome, 1}, now);
}

void noteCanvasNotOpened(EditorState& state, const std::string& failure, Clock::time_point now,
                         std::string_view fileName) {
    showNotice(state, "could not open " + std::string(fileName) + ": " + failure, now);
}

std::string windowTitle(const EditorState& state, Clock::time_point now) {
    std::string title(windowName);
    if (now < state.notice.until)
        title += " — " + state.notice.text;
    return title;
}

RowSpan rowsToEnlarge(RowSpan changed, std::int32_t height) {
    // Two rows above and below: the neighbourhood the corners of a cell's block are graded from.
    constexpr std::int32_t reach = 2;
    if (changed.begin >= changed.end)
        return {};
    return {std::max(changed.begin - reach, 0), std::min(changed.end + reach, height)};
}

void enlargeCanvas(EditorState& state) {
    state.scaleSettings = ScaleSettings{};
    const RowSpan rows = rowsToEnlarge(state.changedRows, state.layout.canvasHeight);
    state.changedRows = {};
    state.enlargedRows = rows;
    if (rows.begin >= rows.end)
        return;
    // The band entry gives these rows exactly the words of a whole-canvas enlargement.
    upscaleBand(state.layout.scaleFactor, state.canvas.data(), state.target.data(), state.layout.canvasWidth,
                state.layout.canvasHeight, state.scaleSettings, rows.begin, rows.end);
    copyTargetToPreview(state, rows);
}

void copyTargetToPreview(EditorState& state, RowSpan rows) {
    const auto rowPixels = static_cast<std::size_t>(state.layout.previewWidth) *
                           static_cast<std::size_t>(state.layout.scaleFactor);
    const std::size_t first = static_cast<std::size_t>(rows.begin) * rowPixels;
    const std::size_t count = static_cast<std::size_t>(rows.end - rows.begin) * rowPixels;
    pixelsToOpaqueRgba(state.target.data() + first, count, state.preview.data() + first * 4);
}

PaletteBar layOutPaletteBar(const EditorState& state) {
    const auto w = static_cast<float>(state.layout.windowSize);
    const auto n = static_cast<float>(state.paletteCount);
    const float top = static_cast<float>(state.layout.windowSize - paletteBarHeight);
    const float width = w / n;
    PaletteBar bar;
    bar.swatches.reserve(static_cast<std::size_t>(state.paletteCount));
    bar.outlines.reserve(static_cast<std::size_t>(state.paletteCount));
    for (std::int32_t j = 0; j < state.paletteCount; ++j) {
        const Colour entry = state.palette[static_cast<std::size_t>(j)];
        BarRectangle rectangle;
        rectangle.left = static_cast<float>(j) * w / n;
        rectangle.top = top;
        rectangle.width = width;
        rectangle.height = static_cast<float>(paletteBarHeight);
        rectangle.fill = entry;
        bar.swatches.push_back(rectangle);

        rectangle.fill = transparentBlack;
        if (j == state.selectedIndex) {
            rectangle.outlineThickness = selectionOutlineThickness;
            rectangle.outlineColour = selectionOutlineColour(entry);
        }
        bar.outlines.push_back(rectangle);
    }
    return bar;
}

Colour selectionOutlineColour(Colour swatch) {
    return swatch == opaqueBlack ? opaqueBlue : opaqueBlack;
}

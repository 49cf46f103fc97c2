#include <algorithm>
#include <tessera/editor/history.h>
#include <utility>

namespace {

std::size_t stepBytes(const EditStep& step) {
    return step.cells.size() * sizeof(CellValue) + step.canvas.size() * sizeof(Pixel);
}

void recordStep(EditHistory& history, EditStep step) {
    while (history.steps.size() > history.doneCount) {
        history.bytes -= stepBytes(history.steps.back());
        history.steps.pop_back();
    }
    history.bytes += stepBytes(step);
    history.steps.push_back(std::move(step));
    while (history.steps.size() > history.limits.maxSteps ||
           (history.bytes > history.limits.maxBytes && history.steps.size() > 1)) {
        history.bytes -= stepBytes(history.steps.front());
        history.steps.pop_front();
    }
    history.doneCount = history.steps.size();
}

// Puts the values the step holds on the canvas and keeps the canvas's in their place. A step's
// cells are sorted by index, so the first and the last bound the span.
CellSpan exchange(EditStep& step, std::vector<Pixel>& canvas) {
    for (CellValue& cell : step.cells)
        std::swap(canvas[cell.index], cell.pixel);
    if (!step.canvas.empty()) {
        canvas.swap(step.canvas);
        return {0, canvas.size()};
    }
    if (step.cells.empty())
        return {};
    return {step.cells.front().index, std::size_t{step.cells.back().index} + 1};
}

} // namespace

CellSpan paintCell(EditHistory& history, std::vector<Pixel>& canvas, std::uint32_t index, Pixel colour) {
    if (canvas[index] == colour)
        return {};
    history.stroke.push_back({index, canvas[index]});
    canvas[index] = colour;
    return {index, std::size_t{index} + 1};
}

void endStroke(EditHistory& history, const std::vector<Pixel>& canvas) {
    if (history.stroke.empty())
        return;
    // A cell painted twice keeps its value from before the first change; a cell painted back to
    // where it began has not changed.
    std::vector<CellValue> cells = std::move(history.stroke);
    history.stroke.clear();
    std::stable_sort(cells.begin(), cells.end(),
                     [](const CellValue& a, const CellValue& b) { return a.index < b.index; });
    cells.erase(std::unique(cells.begin(), cells.end(),
                            [](const CellValue& a, const CellValue& b) { return a.index == b.index; }),
                cells.end());
    std::erase_if(cells, [&](const CellValue& cell) { return canvas[cell.index] == cell.pixel; });
    if (cells.empty())
        return;
    cells.shrink_to_fit();
    recordStep(history, EditStep{std::move(cells), {}});
}

CellSpan replaceCanvas(EditHistory& history, std::vector<Pixel>& canvas, std::vector<Pixel> next) {
    endStroke(history, canvas);
    std::size_t changed = 0;
    CellSpan span{canvas.size(), 0};
    for (std::size_t i = 0; i < canvas.size(); ++i)
        if (canvas[i] != next[i]) {
            ++changed;
            span.begin = std::min(span.begin, i);
            span.end = i + 1;
        }
    if (changed == 0)
        return {};
    // The step keeps whichever is smaller: the changed cells' old values or the whole old canvas.
    EditStep step;
    if (changed * sizeof(CellValue) < canvas.size() * sizeof(Pixel)) {
        step.cells.reserve(changed);
        for (std::size_t i = 0; i < canvas.size(); ++i)
            if (canvas[i] != next[i])
                step.cells.push_back({static_cast<std::uint32_t>(i), canvas[i]});
    } else {
        step.canvas = std::move(canvas);
    }
    canvas = std::move(next);
    recordStep(history, std::move(step));
    return span;
}

CellSpan fillCanvas(EditHistory& history, std::vector<Pixel>& canvas, Pixel colour) {
    return replaceCanvas(history, canvas, std::vector<Pixel>(canvas.size(), colour));
}

CellSpan undoStep(EditHistory& history, std::vector<Pixel>& canvas) {
    endStroke(history, canvas);
    if (history.doneCount == 0)
        return {};
    --history.doneCount;
    return exchange(history.steps[history.doneCount], canvas);
}

CellSpan redoStep(EditHistory& history, std::vector<Pixel>& canvas) {
    endStroke(history, canvas);
    if (history.doneCount == history.steps.size())
        return {};
    const CellSpan span = exchange(history.steps[history.doneCount], canvas);
    ++history.doneCount;
    return span;
}

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

// Puts the values the step holds on the canvas and keeps the canvas's in their place.
void exchange(EditStep& step, std::vector<Pixel>& canvas) {
    for (CellValue& cell : step.cells)
        std::swap(canvas[cell.index], cell.pixel);
    if (!step.canvas.empty())
        canvas.swap(step.canvas);
}

} // namespace

void paintCell(EditHistory& history, std::vector<Pixel>& canvas, std::uint32_t index, Pixel colour) {
    if (canvas[index] == colour)
        return;
    history.stroke.push_back({index, canvas[index]});
    canvas[index] = colour;
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

void replaceCanvas(EditHistory& history, std::vector<Pixel>& canvas, std::vector<Pixel> next) {
    endStroke(history, canvas);
    std::size_t changed = 0;
    for (std::size_t i = 0; i < canvas.size(); ++i)
        changed += canvas[i] != next[i] ? 1 : 0;
    if (changed == 0)
        return;
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
}

void fillCanvas(EditHistory& history, std::vector<Pixel>& canvas, Pixel colour) {
    replaceCanvas(history, canvas, std::vector<Pixel>(canvas.size(), colour));
}

void undoStep(EditHistory& history, std::vector<Pixel>& canvas) {
    endStroke(history, canvas);
    if (history.doneCount == 0)
        return;
    --history.doneCount;
    exchange(history.steps[history.doneCount], canvas);
}

void redoStep(EditHistory& history, std::vector<Pixel>& canvas) {
    endStroke(history, canvas);
    if (history.doneCount == history.steps.size())
        return;
    exchange(history.steps[history.doneCount], canvas);
    ++history.doneCount;
}

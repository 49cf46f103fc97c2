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

void fillCanvas(EditHistory& history, std::vector<Pixel>& canvas, Pixel colour) {
    endStroke(history, canvas);
    const auto changed = static_cast<std::size_t>(
        std::count_if(canvas.begin(), canvas.end(), [colour](Pixel p) { return p != colour; }));
    if (changed == 0)
        return;
    EditStep step;
    if (changed * sizeof(CellValue) < canvas.size() * sizeof(Pixel)) {
        step.cells.reserve(changed);
        for (std::size_t i = 0; i < canvas.size(); ++i)
            if (canvas[i] != colour) {
                step.cells.push_back({static_cast<std::uint32_t>(i), canvas[i]});
                canvas[i] = colour;
            }
    } else {
        step.canvas.swap(canvas);
        canvas.assign(step.canvas.size(), colour);
    }
    recordStep(history, std::move(step));
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

// Undo and redo of the canvas, as plain data and free functions.
//
//   HistoryLimits  how many steps, and how many bytes of them, are kept
//   EditHistory    the recorded steps, which of them are done, and the stroke being painted
//   paintCell      one cell painted as part of the open stroke
//   endStroke      closes the open stroke: one step, when it left a cell changed
//   replaceCanvas  every cell takes its value from another canvas: one step, when that changes a cell
//   fillCanvas     every cell takes one colour, as replaceCanvas does
//   undoStep       the canvas as it was before the newest done step
//   redoStep       the oldest undone step applied again
//
// Each action that can change the canvas returns the span of cells it changed, so that the editor
// enlarges no more than those cells reach.
//
// One step is one action as the user thinks of it: a stroke (every cell painted while the left
// button stayed down), a fill or an image opened onto the canvas. A step holds, for the cells it changed, the
// values the canvas does not hold at present: those from before the step while it is done, and those from
// after it once it is undone. Undo and redo are therefore one and the same exchange of those values with the
// canvas's. Recording a step discards the undone ones, and the oldest steps are dropped beyond the limits;
// the newest step is always kept, so that the last action can be undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <tessera/scaler.h>
#include <vector>

struct HistoryLimits {
    std::size_t maxSteps = 1000;
    std::size_t maxBytes = std::size_t{64} << 20; // the cells and canvases the steps hold
};

// One cell of a step: its index in the canvas and the value the canvas does not hold now.
struct CellValue {
    std::uint32_t index = 0;
    Pixel pixel = 0;
};

// The canvas cells an action changed lie at indices [begin, end); empty when begin ≥ end. The span
// may hold unchanged cells between changed ones, never a changed cell outside it.
struct CellSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The cells one step changed, or, where that is smaller, the whole other canvas.
struct EditStep {
    std::vector<CellValue> cells;
    std::vector<Pixel> canvas;
};

struct EditHistory {
    HistoryLimits limits;
    std::deque<EditStep> steps; // oldest first
    std::size_t doneCount = 0;  // steps [0, doneCount) are done; the rest can be redone
    std::size_t bytes = 0;      // what all the steps hold
    // The open stroke: for every change it made, the cell and its value before that change, in
    // the order painted. One entry per painted frame at most.
    std::vector<CellValue> stroke;
};

// Paints cell `index` with `colour` within the open stroke; a cell that already holds the colour
// is left alone and noted nowhere.
CellSpan paintCell(EditHistory& history, std::vector<Pixel>& canvas, std::uint32_t index, Pixel colour);

// Closes the open stroke. When it left at least one cell other than before it began, the cells it
// changed become one step.
void endStroke(EditHistory& history, const std::vector<Pixel>& canvas);

// Ends the open stroke, then gives every cell the value `next` holds for it (`next` has the canvas's
// size); one step when that changes a cell.
CellSpan replaceCanvas(EditHistory& history, std::vector<Pixel>& canvas, std::vector<Pixel> next);

// Ends the open stroke, then gives every cell `colour`; one step when that changes a cell.
CellSpan fillCanvas(EditHistory& history, std::vector<Pixel>& canvas, Pixel colour);

// Each ends the open stroke first. Undo past the oldest kept step and redo past the newest do
// nothing.
CellSpan undoStep(EditHistory& history, std::vector<Pixel>& canvas);
CellSpan redoStep(EditHistory& history, std::vector<Pixel>& canvas);

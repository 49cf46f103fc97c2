// The editor as plain data and free functions, with no window: the shell samples the window
// library's events and mouse into these calls, and draws what the state holds.
//
//   EditorLayout      the sizes derived once from the settings, after refusing unusable values
//   EditorState       canvas and its history, enlargement, preview, current colour and selection
//   startEditor       the state at start-up
//   applyMouse        one frame's mouse sample: paint, palette pick or eyedropper
//   applyKey          one key press: fill, undo, redo, or the file work the shell is to carry out
//   clearCanvas       Escape: every cell takes the current colour
//   openImage         Ctrl+O: an image laid over the canvas from its top-left cell, one step
//   restoreCanvas     a canvas kept from an earlier run, put back without a step
//   noteSaved         what the window says after S or Ctrl+S (noteCanvasSaved: after a save of the
//                     canvas alone; noteCanvasNotOpened: after a failed Ctrl+O)
//   windowTitle       the window's name, followed for a few seconds by what the last save or open did
//   rowsToEnlarge     the canvas rows whose enlargement a change to some rows can alter
//   enlargeCanvas     the frame's enlargement: the rows the changes since the last one reach,
//                     enlarged and copied into the preview
//   layOutPaletteBar  the rectangles of the palette bar, in drawing order
//
// Coordinates are window pixels relative to the client area; they may be negative or lie
// beyond the window.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tessera/editor/colour.h>
#include <tessera/editor/history.h>
#include <tessera/editor/settings.h>
#include <tessera/scaler.h>
#include <vector>

// The settings the editor accepts, so that no size is zero, negative or too large for the
// arithmetic below; a value outside them takes its default (settings.h) instead. The factors
// are the scaler's own (minScaleFactor and maxScaleFactor in its header).
inline constexpr std::int32_t minWindowSize = 1;
inline constexpr std::int32_t maxWindowSize = 8192;
inline constexpr std::int32_t minZoom = 1;

// The palette bar covers this many window rows at the bottom of the window.
inline constexpr std::int32_t paletteBarHeight = 32;
// The selected swatch's outline, drawn outside its rectangle.
inline constexpr float selectionOutlineThickness = 4.0f;

struct EditorLayout {
    // Accepted settings.
    std::int32_t windowSize = 0; // W and H: the window is square
    std::int32_t scaleFactor = 0;
    std::int32_t zoom = 0; // any value from 1 up
    // Derived sizes. The cell size is 64-bit because a huge zoom times the factor leaves the
    // 32-bit range; the canvas then has no cells.
    std::int64_t cellSize = 0;      // zoom × scaleFactor: window pixels per cell along each axis
    std::int32_t canvasWidth = 0;   // W ÷ cellSize
    std::int32_t canvasHeight = 0;  // H ÷ cellSize
    std::int32_t previewWidth = 0;  // canvasWidth × scaleFactor, at most W
    std::int32_t previewHeight = 0; // canvasHeight × scaleFactor, at most H
    std::size_t cellCount = 0;      // canvasWidth × canvasHeight
    std::size_t targetCount = 0;    // cellCount × scaleFactor², the enlargement's pixels
};

// Replaces a window size outside 1..8192, a factor outside 2..5 and a zoom below 1 by its
// default, then derives the sizes. Everything is computed without overflow for every input.
EditorLayout deriveLayout(const EditorSettings& settings);

// The clock that times notices; the shell reads it and passes its readings in.
using Clock = std::chrono::steady_clock;

// A short message in the window about a save or an open, shown until `until`.
struct Notice {
    std::string text;
    Clock::time_point until{};
};

// How long a notice stays: long enough to be read, short enough not to linger.
inline constexpr std::chrono::seconds noticeDuration{4};

inline constexpr std::string_view windowName = "TESSERA.EXE";
// Where Ctrl+S writes the canvas and Ctrl+O reads it from: this name in the working directory.
inline constexpr std::string_view canvasFileName = "canvas.png";
// Where S and Ctrl+S write the shown enlargement: this name in the working directory.
inline constexpr std::string_view previewFileName = "image.png";

// Canvas rows [begin, end); empty when begin ≥ end.
struct RowSpan {
    std::int32_t begin = 0;
    std::int32_t end = 0;

    friend constexpr bool operator==(const RowSpan&, const RowSpan&) = default;
};

struct EditorState {
    EditorLayout layout;
    Palette palette{};
    std::int32_t paletteCount = 0; // minPaletteCount..maxPaletteCount

    // The painted image, row-major: cell (x, y) at index y × canvasWidth + x; always opaque.
    std::vector<Pixel> canvas;
    // The canvas's strokes and fills, for undo and redo. The palette, the selection and the
    // current colour are not part of it.
    EditHistory history;
    // The enlargement, previewWidth × previewHeight, row-major; written only by the scaler.
    std::vector<Pixel> target;
    // What the window shows, the eyedropper samples and S saves: previewWidth × previewHeight
    // pixels of red, green, blue and alpha bytes, the window library's image layout. Opaque black
    // until the first enlargement is copied in; always opaque.
    std::vector<std::uint8_t> preview;
    // The canvas rows changed since the last enlargement (all of them at start-up), and the rows
    // the last enlargement wrote into the target and the preview, each row as its factor rows
    // there, so that a shell need upload no others.
    RowSpan changedRows;
    RowSpan enlargedRows;

    Colour currentColour;            // what the left button paints and Escape clears to
    std::int32_t selectedIndex = -1; // the outlined palette entry; -1 for none
    ScaleSettings scaleSettings;
    Notice notice; // none until the first save or open
};

// Derives the layout, allocates canvas, target and preview, fills the canvas with palette entry 0
// and takes entry 1 as the current and selected colour. A palette count outside
// minPaletteCount..maxPaletteCount (which readSettings never gives) is replaced by the built-in palette.
EditorState startEditor(const EditorSettings& settings);

// Releases the canvas and its history, then the target, then the preview.
void releaseBuffers(EditorState& state);

// One frame's sample of the mouse.
struct MouseInput {
    bool left = false;  // real-time state of the left button
    bool right = false; // real-time state of the right button
    std::int32_t x = 0; // pointer position relative to the client area
    std::int32_t y = 0;
};

// The left button wins over the right one. Above the bar (y ≤ H − 32) the left button paints and
// the right one takes a colour from the preview; over the bar (H − 32 < y < H) either picks a
// palette entry; at y ≥ H nothing happens. Everything painted while the left button stays down is
// one stroke, undone in one step; the first sample with the left button up ends it.
void applyMouse(EditorState& state, const MouseInput& mouse);

// Paints cell (x ÷ cellSize, y ÷ cellSize) with the current colour, as part of the open stroke,
// when that cell exists. The divisions truncate towards zero, so a pointer less than one cell
// left of or above the window paints column or row 0.
void paintAt(EditorState& state, std::int32_t x, std::int32_t y);

// When 0 ≤ x < W: selects entry i = x ÷ (W ÷ paletteCount), in single precision, truncated.
void pickPaletteAt(EditorState& state, std::int32_t x);

// When (x, y) lies on the canvas's cells (0 ≤ x < canvasWidth × cellSize, same for y): the
// preview pixel (x ÷ zoom, y ÷ zoom) gives the current colour its red, green and blue (alpha
// stays), and the selection becomes the lowest entry equal to it in all four channels, or -1.
void eyedropAt(EditorState& state, std::int32_t x, std::int32_t y);

// Every canvas cell takes the current colour, opaque; one step of the history, after the open
// stroke has been ended.
void clearCanvas(EditorState& state);

// The keys the editor reacts to; every other key is Other.
enum class Key { Other, Escape, O, S, Y, Z };

// One key press as the window reports it, with the modifiers held at the time. A held key
// repeats as presses at the system's key-repeat rate.
struct KeyInput {
    Key key = Key::Other;
    bool control = false;
    bool shift = false;
};

// What the shell is to carry out after a key press.
enum class KeyEffect {
    None,
    SavePreview,          // image.png
    SavePreviewAndCanvas, // image.png, then canvasFileName
    OpenCanvas,           // read canvasFileName and hand it to openImage
};

// Escape fills the canvas and S asks for the preview to be saved, whatever modifiers are held;
// with Control held S asks for the canvas to be saved as well. Control+O asks for the canvas file
// to be opened. Control+Z undoes the newest step; Control+Y and Control+Shift+Z redo. Every other
// key does nothing. The files are left to the shell, which writes the preview as it is (the
// enlargement of the previous frame) and the canvas as it is at the key press.
KeyEffect applyKey(EditorState& state, const KeyInput& key);

// An image to lay over the canvas: width × height pixels of straight (not premultiplied) red,
// green, blue and alpha bytes, row-major from the top.
struct RgbaImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::span<const std::uint8_t> rgba; // width × height × 4 bytes
};

// Lays `image` over the canvas with its top-left pixel on cell (0, 0), as one step of the history
// (after the open stroke has been ended): a larger image is cropped to the canvas, and cells a
// smaller one does not reach keep their colours. Each pixel is composited over the cell it lands
// on, channel by channel, as (pixel × alpha + cell × (255 − alpha)) ÷ 255 rounded to the nearest
// integer (255 is odd, so there is never a tie), and the cell stays opaque: alpha 255 replaces the
// cell, alpha 0 leaves it as it was. Then the notice says the file `fileName` was opened, and at
// what size when that is not the canvas's.
void openImage(EditorState& state, const RgbaImage& image, Clock::time_point now,
               std::string_view fileName = canvasFileName);

// The canvas as it was kept elsewhere (`cells` has the canvas's size; each made opaque), with a
// fresh history: how a painting comes back after the program was closed.
void restoreCanvas(EditorState& state, std::span<const Pixel> cells);

// What came of writing one file: nothing for a file written whole, otherwise why it was not.
struct SaveOutcome {
    std::string_view file;
    std::optional<std::string> failure;
};

// The notice after the shell has tried to write the files of `outcomes`, given in the order they
// were written. It names first each file that could not be saved and why ("could not save
// image.png: No space left on device"), then the files that were saved ("saved image.png and
// canvas.png"), separated by "; ", so that a failure leads even when the title is cut short.
void noteSaved(EditorState& state, std::span<const SaveOutcome> outcomes, Clock::time_point now);
// The notice after a save of the canvas alone (canvasFileName), as noteSaved gives it.
void noteCanvasSaved(EditorState& state, const std::optional<std::string>& failure, Clock::time_point now);
// After an open that failed, the notice says why; the canvas and its history are left as they are.
void noteCanvasNotOpened(EditorState& state, const std::string& failure, Clock::time_point now,
                         std::string_view fileName = canvasFileName);

// windowName, followed by " — " and the notice's text while the notice lasts (now < until).
std::string windowTitle(const EditorState& state, Clock::time_point now);

// How far a change reaches in the enlargement: the block of a canvas cell is decided by the
// cells up to two rows above and below it (the grades of its top corners come from the row
// above and the rows around it, those of its bottom corners from its own row to two rows down),
// so a change to rows `changed` alters the blocks of those rows and of the two rows on either
// side, clamped to the canvas's `height` rows. Nothing for no change.
RowSpan rowsToEnlarge(RowSpan changed, std::int32_t height);

// Enlarges the rows the changes since the last call reach (rowsToEnlarge) into the target and
// copies them into the preview, then notes them as enlargedRows and clears changedRows. With no
// change nothing is enlarged or copied. Target and preview always end as enlarging the whole
// canvas would leave them.
void enlargeCanvas(EditorState& state);

// Copies target rows [begin × factor, end × factor) into the preview: red, green and blue from
// each word, alpha 255 whatever the word's top byte holds.
void copyTargetToPreview(EditorState& state, RowSpan rows);

// One rectangle of the palette bar, in window pixels (single precision).
struct BarRectangle {
    float left = 0.0f;
    float top = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    Colour fill;
    float outlineThickness = 0.0f; // drawn outside the rectangle
    Colour outlineColour = opaqueBlack;
};

// Two passes over the entries, drawn in this order: the swatches, then transparent rectangles of
// which only the selected one has an outline. The outlines come last so that they cover the edges
// of the neighbouring swatches and the rows just above the bar.
struct PaletteBar {
    std::vector<BarRectangle> swatches;
    std::vector<BarRectangle> outlines;
};

// Swatch j of n: size (W ÷ n, 32) at (j × W ÷ n, H − 32), in single precision, the product
// formed before the division.
PaletteBar layOutPaletteBar(const EditorState& state);

// Blue around an opaque black swatch, black around any other.
Colour selectionOutlineColour(Colour swatch);

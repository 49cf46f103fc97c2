// The painter's module: the editor core behind a C interface for the page's JavaScript shell
// (paint.js), which samples the pointer and the keys into it once per displayed frame, draws what
// it holds and carries its files to and from the browser. Every decision is the core's; this file
// only converts between the core's records and numbers and bytes JavaScript can pass.
//
// A session is one editor: paintStart reads the settings text with the settings file's rules and
// starts the editor; every other function takes the session it returned.
#include "paint_files.h"

#include <cstdint>
#include <emscripten/emscripten.h>
#include <span>
#include <sstream>
#include <string>
#include <tessera/editor/editor.h>
#include <tessera/editor/settings.h>
#include <vector>

namespace {

// One rectangle of the palette bar as floats: left, top, width, height, fill red, green, blue,
// alpha, outline thickness, outline red, green, blue, alpha.
constexpr std::size_t barFloats = 13;

struct Session {
    EditorState state;
    std::vector<float> bar;        // the last layOutPaletteBar, swatches then outlines
    std::vector<std::uint8_t> png; // the last encoded file
    std::string text;              // the last title or notice asked for
};

void appendRectangle(std::vector<float>& out, const BarRectangle& r) {
    for (float value : {r.left, r.top, r.width, r.height, float(r.fill.r), float(r.fill.g), float(r.fill.b),
                        float(r.fill.a), r.outlineThickness, float(r.outlineColour.r),
                        float(r.outlineColour.g), float(r.outlineColour.b), float(r.outlineColour.a)})
        out.push_back(value);
}

} // namespace

extern "C" {

// Starts an editor with the settings of `size` bytes of settings.cfg text (none: the defaults).
EMSCRIPTEN_KEEPALIVE Session* paintStart(const char* text, std::size_t size) {
    std::istringstream in(std::string(text, size));
    return new Session{startEditor(readSettings(in)), {}, {}, {}};
}

EMSCRIPTEN_KEEPALIVE void paintClose(Session* session) {
    delete session;
}

// The accepted settings and the sizes derived from them.
EMSCRIPTEN_KEEPALIVE int paintWindowSize(const Session* s) {
    return s->state.layout.windowSize;
}
EMSCRIPTEN_KEEPALIVE int paintScaleFactor(const Session* s) {
    return s->state.layout.scaleFactor;
}
EMSCRIPTEN_KEEPALIVE int paintZoom(const Session* s) {
    return s->state.layout.zoom;
}
EMSCRIPTEN_KEEPALIVE int paintCanvasWidth(const Session* s) {
    return s->state.layout.canvasWidth;
}
EMSCRIPTEN_KEEPALIVE int paintCanvasHeight(const Session* s) {
    return s->state.layout.canvasHeight;
}
EMSCRIPTEN_KEEPALIVE int paintPreviewWidth(const Session* s) {
    return s->state.layout.previewWidth;
}
EMSCRIPTEN_KEEPALIVE int paintPreviewHeight(const Session* s) {
    return s->state.layout.previewHeight;
}

// One frame's sample of the pointer: buttons 1 (down) or 0, position in window pixels.
EMSCRIPTEN_KEEPALIVE void paintMouse(Session* s, int left, int right, int x, int y) {
    applyMouse(s->state, {left != 0, right != 0, x, y});
}

// One key press: `key` is the core's Key (0 Other, 1 Escape, 2 O, 3 S, 4 Y, 5 Z). Returns the
// KeyEffect for the shell to carry out (0 None, 1 image.png, 2 image.png and canvas.png, 3 open).
EMSCRIPTEN_KEEPALIVE int paintKey(Session* s, int key, int control, int shift) {
    if (key < 0 || key > static_cast<int>(Key::Z))
        key = 0;
    return static_cast<int>(applyKey(s->state, {static_cast<Key>(key), control != 0, shift != 0}));
}

// The frame's enlargement; the preview rows it rewrote are those of canvas rows
// [paintEnlargedBegin, paintEnlargedEnd), each as factor preview rows (none when nothing changed).
EMSCRIPTEN_KEEPALIVE void paintEnlarge(Session* s) {
    enlargeCanvas(s->state);
}
EMSCRIPTEN_KEEPALIVE int paintEnlargedBegin(const Session* s) {
    return s->state.enlargedRows.begin;
}
EMSCRIPTEN_KEEPALIVE int paintEnlargedEnd(const Session* s) {
    return s->state.enlargedRows.end;
}

// previewWidth × previewHeight pixels of red, green, blue and alpha bytes.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* paintPreview(const Session* s) {
    return s->state.preview.data();
}

// Lays out the palette bar; returns its rectangle count (swatches and outlines, in drawing order)
// and leaves barFloats floats for each at paintBarRectangles.
EMSCRIPTEN_KEEPALIVE int paintLayOutBar(Session* s) {
    const PaletteBar bar = layOutPaletteBar(s->state);
    s->bar.clear();
    for (const auto* rectangles : {&bar.swatches, &bar.outlines})
        for (const BarRectangle& rectangle : *rectangles)
            appendRectangle(s->bar, rectangle);
    return static_cast<int>(s->bar.size() / barFloats);
}
EMSCRIPTEN_KEEPALIVE const float* paintBarRectangles(const Session* s) {
    return s->bar.data();
}

// The window's title now, and the notice alone while it lasts (empty otherwise), as UTF-8
// strings that stay until the next call of either.
EMSCRIPTEN_KEEPALIVE const char* paintTitle(Session* s) {
    s->text = windowTitle(s->state, Clock::now());
    return s->text.c_str();
}
EMSCRIPTEN_KEEPALIVE const char* paintNotice(Session* s) {
    s->text = Clock::now() < s->state.notice.until ? s->state.notice.text : std::string();
    return s->text.c_str();
}

// Encodes the preview (image.png: the enlargement of the previous frame, opaque) or the canvas
// (canvas.png: one opaque pixel per cell) as PNG; returns its size, 0 when memory ran out, and
// leaves the bytes at paintPng.
EMSCRIPTEN_KEEPALIVE int paintEncodeImage(Session* s) {
    const EditorLayout& layout = s->state.layout;
    s->png = tessera::paint::encodePaintPng(s->state.preview, static_cast<std::uint32_t>(layout.previewWidth),
                                            static_cast<std::uint32_t>(layout.previewHeight));
    return static_cast<int>(s->png.size());
}
EMSCRIPTEN_KEEPALIVE int paintEncodeCanvas(Session* s) {
    const EditorLayout& layout = s->state.layout;
    std::vector<std::uint8_t> rgba(s->state.canvas.size() * 4);
    pixelsToOpaqueRgba(s->state.canvas.data(), s->state.canvas.size(), rgba.data());
    s->png = tessera::paint::encodePaintPng(rgba, static_cast<std::uint32_t>(layout.canvasWidth),
                                            static_cast<std::uint32_t>(layout.canvasHeight));
    return static_cast<int>(s->png.size());
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* paintPng(const Session* s) {
    return s->png.data();
}

// What the title says after the shell has handed canvas.png to the browser: saved, or why not.
EMSCRIPTEN_KEEPALIVE void paintCanvasSaved(Session* s, int saved) {
    noteCanvasSaved(s->state, saved ? std::nullopt : std::optional<std::string>("the page ran out of memory"),
                    Clock::now());
}

// Opens `size` bytes of an image file named `name` onto the canvas as one step of the history;
// a file that cannot be read leaves the canvas as it is, and the notice says why.
EMSCRIPTEN_KEEPALIVE void paintOpen(Session* s, const char* file, std::size_t size, const char* name) {
    const tessera::paint::DecodedFile decoded = tessera::paint::decodePaintFile({file, size});
    if (!decoded.failure.empty())
        return noteCanvasNotOpened(s->state, decoded.failure, Clock::now(), name);
    openImage(s->state, {decoded.width, decoded.height, decoded.rgba}, Clock::now(), name);
}

// The canvas as red, green, blue and alpha bytes (for the browser's storage), and a canvas kept
// that way put back with a fresh history; `rgba` holds canvasWidth × canvasHeight pixels.
EMSCRIPTEN_KEEPALIVE int paintCanvasRgba(Session* s) {
    s->png.resize(s->state.canvas.size() * 4);
    pixelsToOpaqueRgba(s->state.canvas.data(), s->state.canvas.size(), s->png.data());
    return static_cast<int>(s->png.size());
}
EMSCRIPTEN_KEEPALIVE void paintRestore(Session* s, const std::uint8_t* rgba) {
    std::vector<Pixel> cells(s->state.canvas.size());
    rgbaToOpaquePixels(rgba, cells.size(), cells.data());
    restoreCanvas(s->state, cells);
}

} // extern "C"

// The editor driven in a real window: each test starts its own Xvfb server and the tessera
// program in a fresh working directory, drives it with xdotool, watches the window's pixels until
// each action has taken effect, checks image.png pixel by pixel against the scaler's enlargement
// of the canvas the test expects (and canvas.png against that canvas), and closes the window with
// WM_DELETE_WINDOW, expecting exit 0.
#include "editor_fixture.h"

#include <SFML/Graphics/Image.hpp>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <tessera/scaler.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A button is held at least this long, so that presses whose effect cannot be seen are still
// sampled by a few frames.
constexpr auto minimumHold = 150ms;

constexpr Pixel rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return 0xFF000000u | r << 16 | g << 8 | b;
}

constexpr Pixel opaqueBlack = rgb(0, 0, 0);
constexpr Pixel outlineBlue = rgb(0, 0, 255);

const std::vector<Pixel> builtInPalette = {
    rgb(0, 0, 0),       rgb(255, 255, 255), rgb(157, 157, 157), rgb(190, 38, 51),
    rgb(224, 111, 139), rgb(73, 60, 43),    rgb(164, 100, 34),  rgb(235, 137, 49),
    rgb(247, 226, 107), rgb(47, 72, 78),    rgb(68, 137, 26),   rgb(163, 206, 39),
    rgb(27, 38, 50),    rgb(0, 87, 132),    rgb(49, 162, 242),  rgb(178, 220, 239)};

std::string hex(Pixel p) {
    std::ostringstream out;
    out << "#" << std::hex;
    out.width(6);
    out.fill('0');
    out << (p & 0xFFFFFFu);
    return out.str();
}

// What the editor should hold, by the test's own reckoning.
struct Model {
    int windowSize = 800;
    int factor = 4;
    int zoom = 5;
    std::vector<Pixel> palette = builtInPalette;
    int canvasWidth = 40;
    std::vector<Pixel> canvas;
    Pixel current = 0;
    int selected = 1;

    static Model make(int windowSize, int factor, int zoom, std::vector<Pixel> palette) {
        Model m;
        m.windowSize = windowSize;
        m.factor = factor;
        m.zoom = zoom;
        m.palette = std::move(palette);
        m.canvasWidth = static_cast<int>(windowSize / (std::int64_t{zoom} * factor));
        m.canvas.assign(static_cast<std::size_t>(m.canvasWidth) * m.canvasWidth, m.palette[0]);
        m.current = m.palette[1];
        m.selected = 1;
        return m;
    }

    std::int64_t cellSize() const { return std::int64_t{zoom} * factor; }
    int previewWidth() const { return canvasWidth * factor; }
    int barTop() const { return windowSize - 32; }
    Pixel& cell(int x, int y) { return canvas[static_cast<std::size_t>(y) * canvasWidth + x]; }

    // The scaler's enlargement of the expected canvas, made opaque as the editor shows it.
    std::vector<Pixel> preview() const {
        std::vector<Pixel> target(static_cast<std::size_t>(previewWidth()) * previewWidth());
        upscale(factor, canvas.data(), target.data(), canvasWidth, canvasWidth, ScaleSettings{}, INT32_MAX);
        for (Pixel& p : target)
            p |= 0xFF000000u;
        return target;
    }

    float swatchLeft(int j) const {
        return static_cast<float>(j) * static_cast<float>(windowSize) / static_cast<float>(palette.size());
    }
    float swatchWidth() const { return static_cast<float>(windowSize) / static_cast<float>(palette.size()); }
    int entryAt(int x) const { return static_cast<int>(static_cast<float>(x) / swatchWidth()); }
    int swatchCentre(int j) const { return static_cast<int>(swatchLeft(j) + swatchWidth() / 2.0f); }
    int lowestEntryHolding(Pixel colour) const {
        for (std::size_t i = 0; i < palette.size(); ++i)
            if (palette[i] == colour)
                return static_cast<int>(i);
        return -1;
    }
};

struct Probe {
    int x, y;
    Pixel colour;
};

class EditorWindow : public e2e::EditorFixture {
protected:
    // Starts the editor with `settings` (none when nullopt) and moves its window to (100, 100), so
    // that the pointer can also be placed just outside it.
    void launch(const std::optional<std::string>& settings, const Model& model) {
        model_ = model;
        launchEditor(settings, 100, 100);
    }

    bool windowFitsTheScreen() const {
        return geometry_.left + geometry_.width <= e2e::VirtualDisplay::screenWidth &&
               geometry_.top + geometry_.height <= e2e::VirtualDisplay::screenHeight;
    }

    // What the window should show at (x, y) above the palette bar and its outline: the preview
    // magnified by the zoom, and the clear colour (black) in strips no cell covers.
    Pixel expectedImagePixel(const std::vector<Pixel>& preview, int x, int y) const {
        const std::int64_t covered = model_.canvasWidth * model_.cellSize();
        if (x >= covered || y >= covered)
            return opaqueBlack;
        return preview[static_cast<std::size_t>(y / model_.zoom) * model_.previewWidth() + x / model_.zoom];
    }

    // Points where the selection outline of swatch j would change what is seen: its top edge over
    // the image, and its sides over the neighbouring swatches. Each point carries the colour shown
    // there when swatch j is not selected. Swatches narrower than 16 pixels are not probed.
    std::vector<Probe> outlineProbes(int j, const std::vector<Pixel>& preview) const {
        const int n = static_cast<int>(model_.palette.size());
        const int h = model_.windowSize;
        if (model_.swatchWidth() < 16.0f || h < 40)
            return {};
        std::vector<Probe> probes;
        const int top = h - 34;
        const int centre = model_.swatchCentre(j);
        probes.push_back({centre, top, expectedImagePixel(preview, centre, top)});
        const float left = model_.swatchLeft(j);
        const float right = left + model_.swatchWidth();
        if (j > 0)
            probes.push_back({static_cast<int>(std::floor(left)) - 2, h - 16,
                              model_.palette[static_cast<std::size_t>(j - 1)]});
        if (j + 1 < n)
            probes.push_back({static_cast<int>(std::ceil(right)) + 1, h - 16,
                              model_.palette[static_cast<std::size_t>(j + 1)]});
        return probes;
    }

    Pixel outlineColour(int j) const {
        return model_.palette[static_cast<std::size_t>(j)] == opaqueBlack ? outlineBlue : opaqueBlack;
    }

    // Whether the window shows what the model says: the magnified enlargement of the canvas and the
    // selection outline. On a mismatch `mismatch_` names the first differing pixel.
    bool screenMatches() {
        const std::optional<e2e::Screenshot> shot = x_->capture(window_);
        if (!shot) {
            mismatch_ = "the window could not be read";
            return false;
        }
        const std::vector<Pixel> preview = model_.preview();
        const int imageRows = std::max(0, model_.windowSize - 36);
        for (int y = 0; y < imageRows; ++y)
            for (int x = 0; x < model_.windowSize; ++x) {
                const Pixel want = expectedImagePixel(preview, x, y) & 0xFFFFFFu;
                if (shot->at(x, y) != want) {
                    mismatch_ = "window pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") shows " +
                                hex(shot->at(x, y)) + ", expected " + hex(want);
                    return false;
                }
            }
        for (int j = 0; j < static_cast<int>(model_.palette.size()); ++j) {
            const Pixel outline = outlineColour(j);
            for (const Probe& p : outlineProbes(j, preview)) {
                if (p.colour == outline)
                    continue; // the outline would not change this point
                const Pixel want = (j == model_.selected ? outline : p.colour) & 0xFFFFFFu;
                if (shot->at(p.x, p.y) != want) {
                    mismatch_ = "outline probe of swatch " + std::to_string(j) + " at (" +
                                std::to_string(p.x) + ", " + std::to_string(p.y) + ") shows " +
                                hex(shot->at(p.x, p.y)) + ", expected " + hex(want) + " (selected " +
                                std::to_string(model_.selected) + ")";
                    return false;
                }
            }
        }
        return true;
    }

    void waitForScreen(const std::string& what) {
        waitFor("the window shows " + what, [&] { return screenMatches(); });
    }

    // Presses `button` at window pixel (x, y) and holds it until the window shows the model.
    void press(int button, int x, int y, const std::string& what) {
        moveTo(x, y);
        xdotool({"mousedown", std::to_string(button)});
        std::this_thread::sleep_for(minimumHold);
        waitForScreen(what);
        xdotool({"mouseup", std::to_string(button)});
    }

    // Left press at window pixel (x, y), which the test expects to paint `cell` (or nothing).
    void paintAt(int x, int y, std::optional<std::pair<int, int>> cell) {
        if (cell)
            model_.cell(cell->first, cell->second) = model_.current;
        press(1, x, y, "a left press at (" + std::to_string(x) + ", " + std::to_string(y) + ")");
    }

    void paint(int cx, int cy) {
        const auto c = static_cast<int>(model_.cellSize());
        paintAt(cx * c + c / 2, cy * c + c / 2, std::pair{cx, cy});
    }

    void pick(int x) {
        const int i = model_.entryAt(x);
        model_.selected = i;
        model_.current = model_.palette[static_cast<std::size_t>(i)];
        press(1, x, model_.windowSize - 16,
              "the pick of entry " + std::to_string(i) + " at x = " + std::to_string(x));
    }

    void pickEntry(int j) { pick(model_.swatchCentre(j)); }

    // Right press at window pixel (x, y) on the canvas's cells.
    void eyedrop(int x, int y) {
        const std::vector<Pixel> preview = model_.preview();
        model_.current =
            preview[static_cast<std::size_t>(y / model_.zoom) * model_.previewWidth() + x / model_.zoom];
        model_.selected = model_.lowestEntryHolding(model_.current);
        press(3, x, y,
              "the eyedropper at (" + std::to_string(x) + ", " + std::to_string(y) + ") taking " +
                  hex(model_.current));
    }

    void key(const std::string& name) { xdotool({"key", name}); }

    // One left-button stroke over the given cells: the button stays down from the first cell to
    // the last, and each cell is seen painted before the pointer moves on. A release is sampled
    // only by a frame that sees it, so the stroke begins after frames have seen the button up.
    void stroke(const std::vector<std::pair<int, int>>& cells) {
        const auto c = static_cast<int>(model_.cellSize());
        moveTo(cells.front().first * c + c / 2, cells.front().second * c + c / 2);
        std::this_thread::sleep_for(minimumHold);
        xdotool({"mousedown", "1"});
        for (const auto& [cx, cy] : cells) {
            model_.cell(cx, cy) = model_.current;
            moveTo(cx * c + c / 2, cy * c + c / 2);
            waitForScreen("the stroke reaching cell (" + std::to_string(cx) + ", " + std::to_string(cy) +
                          ")");
        }
        xdotool({"mouseup", "1"});
    }

    // Presses `keys` and waits until the window shows `canvas`.
    void keyShowing(const std::string& keys, const std::vector<Pixel>& canvas, const std::string& what) {
        model_.canvas = canvas;
        key(keys);
        waitForScreen(what);
    }

    void escape() {
        for (Pixel& p : model_.canvas)
            p = model_.current;
        key("Escape");
        waitForScreen("the canvas cleared by Escape");
    }

    // Presses `keys` (S unless told otherwise) and compares image.png with the scaler's
    // enlargement of the expected canvas.
    void saveAndCompare(const std::string& keys = "s") {
        const std::filesystem::path file = work_ / "image.png";
        std::filesystem::remove(file);
        key(keys);
        const int side = model_.previewWidth();
        const std::vector<Pixel> expected = model_.preview();
        std::string difference = "image.png was not written";
        const bool same = e2e::waitUntil(
            [&] {
                sf::Image image;
                if (!std::filesystem::exists(file) || !image.loadFromFile(file.string()))
                    return false;
                if (image.getSize() !=
                    sf::Vector2u(static_cast<unsigned>(side), static_cast<unsigned>(side))) {
                    difference = "image.png is " + std::to_string(image.getSize().x) + " x " +
                                 std::to_string(image.getSize().y) + ", expected " + std::to_string(side) +
                                 " x " + std::to_string(side);
                    return false;
                }
                for (int y = 0; y < side; ++y)
                    for (int x = 0; x < side; ++x) {
                        const sf::Color c =
                            image.getPixel(static_cast<unsigned>(x), static_cast<unsigned>(y));
                        const Pixel got = Pixel{c.a} << 24 | Pixel{c.r} << 16 | Pixel{c.g} << 8 | Pixel{c.b};
                        const Pixel want = expected[static_cast<std::size_t>(y) * side + x];
                        if (got != want) {
                            std::ostringstream out;
                            out << "image.png pixel (" << x << ", " << y << ") is " << std::hex << got
                                << ", expected " << want;
                            difference = out.str();
                            return false;
                        }
                    }
                return true;
            },
            e2e::actionTimeout, 50ms);
        EXPECT_TRUE(same) << difference;
    }

    // Compares canvas.png, pixel by pixel, with the expected canvas: one opaque pixel per cell.
    void expectCanvasFile() {
        sf::Image image;
        ASSERT_TRUE(image.loadFromFile((work_ / "canvas.png").string()));
        const auto side = static_cast<unsigned>(model_.canvasWidth);
        ASSERT_EQ(image.getSize(), sf::Vector2u(side, side));
        for (unsigned y = 0; y < side; ++y)
            for (unsigned x = 0; x < side; ++x) {
                const sf::Color c = image.getPixel(x, y);
                const Pixel got = Pixel{c.a} << 24 | Pixel{c.r} << 16 | Pixel{c.g} << 8 | Pixel{c.b};
                ASSERT_EQ(got, model_.cell(static_cast<int>(x), static_cast<int>(y)))
                    << "canvas.png pixel (" << x << ", " << y << ")";
            }
    }

    Model model_;
};

// ---------------------------------------------------------------------------------------------

TEST_F(EditorWindow, DefaultsWithoutSettingsFile) {
    launch(std::nullopt, Model::make(800, 4, 5, builtInPalette));
    EXPECT_EQ(geometry_.width, 800);
    EXPECT_EQ(geometry_.height, 800);
    // The canvas starts black (entry 0); white (entry 1) is selected with a black outline.
    waitForScreen("the first frame");

    paint(0, 0);
    paint(1, 1);
    paint(2, 2);
    paint(3, 1);
    paint(39, 0);
    // y = H − 32 still paints, in cell row 38.
    paintAt(105, 768, std::pair{5, 38});
    // Just left of and above the window: the division truncates towards zero.
    paintAt(-1, 5 * 20 + 10, std::pair{0, 5});
    paintAt(10 * 20 + 10, -19, std::pair{10, 0});
    paintAt(-20, 7 * 20 + 10, std::nullopt);
    saveAndCompare();

    // Opaque black selected: its outline turns blue.
    pick(0);
    paint(20, 20);
    pick(799);
    paint(21, 20);
    saveAndCompare();
    closeAndExpectExitZero();
}

TEST_F(EditorWindow, TwoColourPaletteFromSettingsFile) {
    const Pixel red = rgb(255, 0, 0);
    const Pixel blue = rgb(0, 0, 255);
    launch("800 4 5\n255,0,0\n0,0,255\n", Model::make(800, 4, 5, {red, blue}));
    // The canvas starts red; the user paints blue.
    waitForScreen("the first frame, all red");
    paint(4, 4);
    paint(5, 5);
    paint(6, 4);
    pick(0);
    paint(5, 5);
    paint(30, 30);
    pick(799);
    paint(31, 31);
    saveAndCompare();
    closeAndExpectExitZero();
}

TEST_F(EditorWindow, WindowThatIsNoMultipleOfTheCell) {
    launch("810 4 5\n", Model::make(810, 4, 5, builtInPalette));
    EXPECT_EQ(geometry_.width, 810);
    waitForScreen("the first frame with black strips");
    // The 10-pixel strip on the right: no cell to paint, nothing to sample.
    paintAt(805, 100, std::nullopt);
    // A sample here would change the colour that the next press paints.
    press(3, 805, 120, "a right press in the strip");
    paint(0, 0);
    // y = H − 32 = 778 reaches row 38; the last column is 39.
    paintAt(799, 778, std::pair{39, 38});
    saveAndCompare();
    closeAndExpectExitZero();
}

TEST_F(EditorWindow, ShutsDownWhenClosedAtOnce) {
    launch(std::nullopt, Model::make(800, 4, 5, builtInPalette));
    closeAndExpectExitZero();
}

TEST_F(EditorWindow, UndoAndRedoStrokesAndFills) {
    launch(std::nullopt, Model::make(800, 4, 5, builtInPalette));
    waitForScreen("the first frame");
    const std::vector<Pixel> blank = model_.canvas;
    paint(3, 3);
    const std::vector<Pixel> oneCell = model_.canvas;
    stroke({{5, 5}, {6, 5}, {7, 6}, {8, 6}, {8, 7}});
    const std::vector<Pixel> painting = model_.canvas;
    pickEntry(3);
    escape();
    const std::vector<Pixel> filled = model_.canvas;

    keyShowing("ctrl+z", painting, "the painting brought back by Ctrl+Z");
    saveAndCompare();
    keyShowing("ctrl+y", filled, "the canvas filled again by Ctrl+Y");
    saveAndCompare();
    keyShowing("ctrl+z", painting, "the painting again");
    keyShowing("ctrl+z", oneCell, "the five-cell stroke undone in one step");
    saveAndCompare();
    keyShowing("ctrl+shift+z", painting, "the stroke redone by Ctrl+Shift+Z");

    // Held down, the key repeats like any other.
    model_.canvas = blank;
    xdotool({"keydown", "ctrl+z"});
    waitForScreen("every step undone while Ctrl+Z is held");
    xdotool({"keyup", "ctrl+z"});
    closeAndExpectExitZero();
}

// ---------------------------------------------------------------------------------------------
// The whole interaction at every factor.

class EditorEveryFactor : public EditorWindow, public testing::WithParamInterface<int> {};

TEST_P(EditorEveryFactor, PaintsPicksEyedropsClearsAndSaves) {
    const int factor = GetParam();
    const Pixel dark = rgb(20, 20, 20);
    const Pixel light = rgb(230, 230, 230);
    const Pixel red = rgb(200, 40, 40);
    const Pixel blue = rgb(40, 40, 200);
    // Window 400, zoom 4: cells of 8, 12, 16, 20 pixels; 50, 33, 25, 20 cells a side. At factor 3
    // a 4-pixel strip stays on the right and at the bottom.
    const std::string settings = "400 " + std::to_string(factor) +
                                 " 4\n# dark, light, red, blue, red again, black\r\n20,20,20\n230,230,230\n"
                                 "200,40,40\n 40, 40, 200\n200,40,40,99\n0,0,0";
    launch(settings, Model::make(400, factor, 4, {dark, light, red, blue, red, opaqueBlack}));
    waitForScreen("the first frame");

    // Strokes whose edges an edge-directed enlargement blends.
    for (int k = 2; k <= 5; ++k)
        paint(k, k);
    for (int k = 2; k <= 6; ++k)
        paint(k, 8);
    pickEntry(2);
    paint(10, 2);
    paint(11, 3);
    paint(12, 4);
    pickEntry(3);
    paint(14, 10);

    // Red is held by entries 2 and 4: the eyedropper selects the lower one.
    const auto c = static_cast<int>(model_.cellSize());
    eyedrop(10 * c + c / 2, 2 * c + c / 2);
    EXPECT_EQ(model_.selected, 2);
    paint(15, 12);

    // Just outside the window the division truncates towards zero.
    paintAt(-1, 6 * c + c / 2, std::pair{0, 6});
    paintAt(7 * c + c / 2, -1, std::pair{7, 0});

    // A colour the enlargement blended, which no entry holds: nothing is selected afterwards and
    // the left button paints that colour. A plain replication has no such colour.
    const std::vector<Pixel> preview = model_.preview();
    for (int py = 0; py < model_.previewWidth(); ++py) {
        const int y = py * model_.zoom + model_.zoom / 2;
        if (y > model_.barTop() - 8)
            break;
        for (int px = 0; px < model_.previewWidth(); ++px)
            if (model_.lowestEntryHolding(
                    preview[static_cast<std::size_t>(py) * model_.previewWidth() + px]) < 0) {
                eyedrop(px * model_.zoom + model_.zoom / 2, y);
                EXPECT_EQ(model_.selected, -1);
                paint(16, 14);
                py = model_.previewWidth();
                break;
            }
    }
    saveAndCompare();

    pickEntry(1);
    escape();
    pickEntry(5);
    paint(1, 1);
    paint(2, 1);
    saveAndCompare();
    closeAndExpectExitZero();
}

INSTANTIATE_TEST_SUITE_P(Factors, EditorEveryFactor, testing::Values(2, 3, 4, 5),
                         [](const testing::TestParamInfo<int>& info) {
                             return "Factor" + std::to_string(info.param);
                         });

// ---------------------------------------------------------------------------------------------
// Settings the editor must survive: it starts with the refused values replaced, shows its first
// frame, saves it, and exits 0 when closed.

struct HostileCase {
    const char* name;
    std::string settings;
    int windowSize, factor, zoom;
    std::vector<Pixel> palette;
};

class EditorHostileSettings : public EditorWindow, public testing::WithParamInterface<HostileCase> {};

TEST_P(EditorHostileSettings, StartsWorksAndExitsCleanly) {
    const HostileCase& c = GetParam();
    launch(c.settings, Model::make(c.windowSize, c.factor, c.zoom, c.palette));
    EXPECT_EQ(geometry_.width, c.windowSize);
    EXPECT_EQ(geometry_.height, c.windowSize);
    if (c.windowSize >= 40 && windowFitsTheScreen()) {
        waitForScreen("the first frame");
        // The palette bar works whether or not the canvas has cells.
        pick(0);
        if (model_.canvasWidth > 0) {
            paint(0, 0);
            saveAndCompare();
        }
    } else {
        // Nothing to watch: let frames pass while keys and buttons are used.
        key("s");
        key("Escape");
        moveTo(0, 0);
        xdotool({"mousedown", "1"});
        std::this_thread::sleep_for(300ms);
        xdotool({"mouseup", "1"});
        xdotool({"mousedown", "3"});
        std::this_thread::sleep_for(300ms);
        xdotool({"mouseup", "3"});
    }
    closeAndExpectExitZero();
}

std::string threeHundredColours() {
    std::string text = "300 2 3\n";
    for (int i = 0; i < 300; ++i)
        text += std::to_string(i) + "," + std::to_string(255 - i % 256) + ",7\n";
    return text;
}

std::vector<Pixel> first256Colours() {
    std::vector<Pixel> colours;
    for (std::uint32_t i = 0; i < 256; ++i)
        colours.push_back(rgb(i, 255 - i, 7));
    return colours;
}

std::string binaryGarbage() {
    std::string bytes;
    for (int i = 0; i < 2048; ++i)
        bytes += static_cast<char>((i * 7919 + 13) % 256);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditorHostileSettings,
    testing::Values(
        // Zero and negative sizes and factors take their defaults.
        HostileCase{"Zeros", "0 0 0\n", 800, 4, 5, builtInPalette},
        HostileCase{"Negatives", "-800 -4 -5\n", 800, 4, 5, builtInPalette},
        HostileCase{"TooLarge", "8193 6 -1\n", 800, 4, 5, builtInPalette},
        HostileCase{"Int32Extremes", "-2147483648 2147483647 -2147483648\n", 800, 4, 5, builtInPalette},
        // Out of the 32-bit range: the value and those after it keep their defaults.
        HostileCase{"Overflow", "4294967296 2 2\n", 800, 4, 5, builtInPalette},
        // A zoom so large that the window holds no cell: an empty canvas and a working bar.
        HostileCase{"HugeZoom", "400 5 2147483647\n", 400, 5, 2147483647, builtInPalette},
        HostileCase{
            "CellLargerThanWindow", "300 5 61\n1,1,1\n0,0,0\n", 300, 5, 61, {rgb(1, 1, 1), opaqueBlack}},
        // Windows smaller than the palette bar.
        HostileCase{"OnePixelWindow", "1 2 1\n", 1, 2, 1, builtInPalette},
        HostileCase{"TinyWindow", "31 5 1\n", 31, 5, 1, builtInPalette},
        // Refused palette fields add nothing; the two good lines make the palette.
        HostileCase{"RefusedPaletteFields",
                    "360 3 4\n10,,30\n,\n   \n  # 1,2,3\n1,2,99999999999\n1,2,3,x\n9,9,9\n0,0,255\n",
                    360,
                    3,
                    4,
                    {rgb(9, 9, 9), rgb(0, 0, 255)}},
        HostileCase{"ThreeHundredColours", threeHundredColours(), 300, 2, 3, first256Colours()},
        HostileCase{"BinaryGarbage", binaryGarbage(), 800, 4, 5, builtInPalette},
        HostileCase{"NulBytes", std::string("640\0 3 4\n1,2,3\n4,5,6\n", 21), 640, 4, 5, builtInPalette}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The canvas's own file: Ctrl+S writes canvas.png (and image.png), Ctrl+O opens it onto the
// canvas, and the title says what came of it.

TEST_F(EditorWindow, SavesTheCanvasAndOpensItAgain) {
    launch(std::nullopt, Model::make(800, 4, 5, builtInPalette));
    waitForScreen("the first frame");
    paint(0, 0);
    stroke({{4, 4}, {5, 5}, {6, 6}});
    pickEntry(3);
    paint(39, 30);
    pickEntry(11);
    paint(20, 10);
    const std::vector<Pixel> painting = model_.canvas;

    // Ctrl+S saves the enlargement too.
    saveAndCompare("ctrl+s");
    waitForTitle("TESSERA.EXE — saved image.png and canvas.png");
    expectCanvasFile();

    escape();
    const std::vector<Pixel> filled = model_.canvas;
    keyShowing("ctrl+o", painting, "the painting opened from canvas.png");
    waitForTitle("TESSERA.EXE — opened canvas.png");
    saveAndCompare();
    // The open is one step of the history.
    keyShowing("ctrl+z", filled, "the open undone by Ctrl+Z");
    keyShowing("ctrl+y", painting, "the open redone by Ctrl+Y");
    closeAndExpectExitZero();
}

sf::Color colourOf(Pixel p) {
    return sf::Color(static_cast<sf::Uint8>(p >> 16), static_cast<sf::Uint8>(p >> 8),
                     static_cast<sf::Uint8>(p), static_cast<sf::Uint8>(p >> 24));
}

// Opaque, every pixel a colour of its own.
Pixel opaqueColourAt(int x, int y) {
    return rgb(static_cast<std::uint32_t>(8 * x + 3), static_cast<std::uint32_t>(8 * y + 3), 50);
}

struct OpenFileCase {
    const char* name;
    // The image written as canvas.png; at 0 × 0, canvas.png holds `bytes`, or is not there when
    // they are empty.
    int width, height;
    std::string bytes;
    Pixel (*pixelAt)(int x, int y);
    // What a cell under image pixel (x, y) becomes from `cell`; cells beyond the image keep theirs.
    Pixel (*cellAfter)(int x, int y, Pixel cell);
    std::string title;
};

// The left half transparent (its colour bytes must not show), the right half alpha 200 over the
// cell: (200, 10, 0) over black gives (157, 8, 0), over white (212, 63, 55).
Pixel halfTransparent(int x, int) {
    return x < 10 ? 0x00FF00FFu : 0xC8C80A00u;
}

Pixel halfComposited(int x, int, Pixel cell) {
    if (x < 10)
        return cell;
    return cell == rgb(255, 255, 255) ? rgb(212, 63, 55) : rgb(157, 8, 0);
}

class EditorOpensCanvasFile : public EditorWindow, public testing::WithParamInterface<OpenFileCase> {};

TEST_P(EditorOpensCanvasFile, LaysItOverTheTopLeftCells) {
    const OpenFileCase& c = GetParam();
    // 20 × 20 cells of 20 pixels.
    launch("400 4 5\n", Model::make(400, 4, 5, builtInPalette));
    waitForScreen("the first frame");
    // White cells for the image to cover or leave.
    paint(5, 5);
    paint(15, 15);
    if (c.width > 0) {
        sf::Image image;
        image.create(static_cast<unsigned>(c.width), static_cast<unsigned>(c.height));
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                image.setPixel(static_cast<unsigned>(x), static_cast<unsigned>(y), colourOf(c.pixelAt(x, y)));
        ASSERT_TRUE(image.saveToFile((work_ / "canvas.png").string()));
    } else if (!c.bytes.empty()) {
        std::ofstream(work_ / "canvas.png", std::ios::binary) << c.bytes;
    }
    for (int y = 0; y < std::min(c.height, model_.canvasWidth); ++y)
        for (int x = 0; x < std::min(c.width, model_.canvasWidth); ++x)
            model_.cell(x, y) = c.cellAfter(x, y, model_.cell(x, y));

    key("ctrl+o");
    waitForTitle(c.title);
    waitForScreen("the canvas after Ctrl+O");
    // The editor goes on.
    paint(19, 0);
    closeAndExpectExitZero();
}

INSTANTIATE_TEST_SUITE_P(
    Files, EditorOpensCanvasFile,
    testing::Values(OpenFileCase{"Larger", 30, 25, "", opaqueColourAt,
                                 [](int x, int y, Pixel) { return opaqueColourAt(x, y); },
                                 "TESSERA.EXE — opened canvas.png, 30 × 25 on the 20 × 20 canvas"},
                    OpenFileCase{"Smaller", 5, 7, "", opaqueColourAt,
                                 [](int x, int y, Pixel) { return opaqueColourAt(x, y); },
                                 "TESSERA.EXE — opened canvas.png, 5 × 7 on the 20 × 20 canvas"},
                    OpenFileCase{"Transparent", 20, 20, "", halfTransparent, halfComposited,
                                 "TESSERA.EXE — opened canvas.png"},
                    OpenFileCase{"Corrupt", 0, 0, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR damaged", 25),
                                 nullptr, nullptr,
                                 "TESSERA.EXE — could not open canvas.png: it is not a PNG, BMP, TGA, JPEG, "
                                 "GIF or WebP image, or it "
                                 "is damaged"},
                    OpenFileCase{"Missing", 0, 0, "", nullptr, nullptr,
                                 "TESSERA.EXE — could not open canvas.png: No such file or directory"}),
    [](const testing::TestParamInfo<OpenFileCase>& info) { return std::string(info.param.name); });

TEST_F(EditorWindow, SaveThatCannotBeWrittenIsShownAndTheEditorGoesOn) {
    launch(std::nullopt, Model::make(800, 4, 5, builtInPalette));
    // A directory in the way: the rename fails, even for root.
    std::filesystem::create_directory(work_ / "canvas.png");
    std::ofstream(work_ / "canvas.png" / "kept.txt") << "kept\n";
    waitForScreen("the first frame");
    paint(3, 3);
    saveAndCompare("ctrl+s");
    waitForTitle("TESSERA.EXE — could not save canvas.png: Is a directory; saved image.png");
    paint(4, 4);
    // No temporary file left beside it, and the directory untouched.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(work_))
        names.push_back(std::filesystem::relative(entry.path(), work_).string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"canvas.png", "canvas.png/kept.txt", "image.png"}));
    // The notice goes after a few seconds.
    waitForTitle("TESSERA.EXE");
    closeAndExpectExitZero();
}

// ---------------------------------------------------------------------------------------------
// S on a disk that fills up: the earlier image.png stays whole, the title says why the new one
// could not be written, and the next S after space has come back writes it.

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Writes zeros into `path` until the disk refuses more.
void fillDisk(const std::filesystem::path& path) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(descriptor, 0);
    const std::vector<char> zeros(4096, '\0');
    while (::write(descriptor, zeros.data(), zeros.size()) > 0) {
    }
    ::close(descriptor);
}

// A small tmpfs of its own on the working directory, so that it can be filled (as root); otherwise,
// a working directory whose permissions refuse new files, which a user other than root cannot
// pass. Either way a save fails on the way, after the editor has started.
class EditorOnAFullDisk : public EditorWindow {
protected:
    void TearDown() override {
        if (mounted_)
            ::umount2(work_.c_str(), MNT_DETACH);
        else if (!work_.empty())
            std::filesystem::permissions(work_, std::filesystem::perms::owner_all);
        EditorWindow::TearDown();
    }

    // Whether the working directory could be prepared; only root may mount, and only a user other
    // than root is held back by permissions.
    bool launchOnSmallDisk() {
        work_ = directory_.path() / "work";
        std::filesystem::create_directories(work_);
        mounted_ = ::getuid() == 0 && ::mount("tessera-test", work_.c_str(), "tmpfs", 0, "size=256k") == 0;
        if (!mounted_ && ::getuid() == 0)
            return false;
        launch("400 4 5\n", Model::make(400, 4, 5, builtInPalette));
        return true;
    }

    // Makes the next save fail and returns why it will.
    std::string refuseSaves() {
        if (mounted_) {
            fillDisk(work_ / "filler");
            return "No space left on device";
        }
        std::filesystem::permissions(work_,
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        return "Permission denied";
    }

    void allowSaves() {
        if (mounted_)
            std::filesystem::remove(work_ / "filler");
        else
            std::filesystem::permissions(work_, std::filesystem::perms::owner_all);
    }

    bool mounted_ = false;
};

TEST_F(EditorOnAFullDisk, KeepsTheEarlierImageAndSaysWhy) {
    if (!launchOnSmallDisk())
        GTEST_SKIP() << "root without the right to mount a tmpfs: no save can be made to fail here";
    waitForScreen("the first frame");
    paint(3, 3);
    saveAndCompare();
    waitForTitle("TESSERA.EXE — saved image.png");
    const std::string earlier = fileBytes(work_ / "image.png");
    const std::vector<std::string> names = namesIn(work_);

    const std::string reason = refuseSaves();
    paint(10, 10);
    key("s");
    waitForTitle("TESSERA.EXE — could not save image.png: " + reason);
    key("ctrl+s");
    waitForTitle("TESSERA.EXE — could not save image.png: " + reason +
                 "; could not save canvas.png: " + reason);
    EXPECT_EQ(fileBytes(work_ / "image.png"), earlier) << "the earlier image.png was changed";
    std::vector<std::string> after = namesIn(work_);
    std::erase(after, "filler");
    EXPECT_EQ(after, names) << "a temporary file was left behind";

    allowSaves();
    saveAndCompare();
    waitForTitle("TESSERA.EXE — saved image.png");
    closeAndExpectExitZero();
}

// ---------------------------------------------------------------------------------------------
// A settings.cfg that is no ordinary file: the window opens at once, with what could be read.

struct SpecialSettingsCase {
    const char* name;
    void (*make)(const std::filesystem::path& file);
    int windowSize;
    std::vector<Pixel> palette;
};

class EditorWithSpecialSettings : public EditorWindow,
                                  public testing::WithParamInterface<SpecialSettingsCase> {};

TEST_P(EditorWithSpecialSettings, OpensAtOnceWithWhatCouldBeRead) {
    const SpecialSettingsCase& c = GetParam();
    std::filesystem::create_directories(directory_.path() / "work");
    c.make(directory_.path() / "work" / "settings.cfg");
    launch(std::nullopt, Model::make(c.windowSize, 4, 5, c.palette));
    EXPECT_EQ(geometry_.width, c.windowSize);
    waitForScreen("the first frame");
    paint(2, 2);
    closeAndExpectExitZero();
}

INSTANTIATE_TEST_SUITE_P(
    Files, EditorWithSpecialSettings,
    testing::Values(
        // Nobody ever writes to it: an ordinary open would wait for a writer for ever.
        SpecialSettingsCase{
            "Fifo", [](const std::filesystem::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
            800, builtInPalette},
        // A header and two colours, then a hole of 1 GiB that is never read.
        SpecialSettingsCase{"SparseGibibyte",
                            [](const std::filesystem::path& file) {
                                std::ofstream(file, std::ios::binary) << "600 4 5\n255,0,0\n0,0,255\n";
                                std::filesystem::resize_file(file, std::uintmax_t{1} << 30);
                            },
                            600,
                            {rgb(255, 0, 0), rgb(0, 0, 255)}}),
    [](const testing::TestParamInfo<SpecialSettingsCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// A resized window shows the start-up layout scaled into the largest square it holds, centred, and
// the pointer paints and picks what is drawn under it.

struct ResizeCase {
    const char* name;
    int width, height;
};

class EditorResized : public EditorWindow, public testing::WithParamInterface<ResizeCase> {
protected:
    void resize(int width, int height) {
        xdotool(
            {"windowsize", "--sync", std::to_string(window_), std::to_string(width), std::to_string(height)});
        waitFor("the window is " + std::to_string(width) + " x " + std::to_string(height), [&] {
            const auto g = x_->geometry(window_);
            if (g)
                geometry_ = *g;
            return g && g->width == width && g->height == height;
        });
    }

    // The window pixel over layout point (x, y) of the start-up window, W x W: the square of side
    // min(width, height) centred in the window, scaled by side / W.
    std::pair<int, int> windowPixelOver(int x, int y) const {
        const int side = std::min(geometry_.width, geometry_.height);
        const int w = model_.windowSize;
        return {(geometry_.width - side) / 2 + (2 * x + 1) * side / (2 * w),
                (geometry_.height - side) / 2 + (2 * y + 1) * side / (2 * w)};
    }

    // What the window shows over layout point (x, y) of the canvas, as the model has it.
    Pixel shownAt(int x, int y) const {
        return model_.preview()[static_cast<std::size_t>(y / model_.zoom) * model_.previewWidth() +
                                static_cast<std::size_t>(x / model_.zoom)] &
               0xFFFFFFu;
    }

    // Paints cell (cx, cy) with a press near its middle, away from every edge of its pixels, and
    // holds the button until the window shows the cell painted under the pointer.
    void paintCell(int cx, int cy) {
        const int c = static_cast<int>(model_.cellSize());
        const int x = cx * c + c / 2 + 2;
        const int y = cy * c + c / 2 + 2;
        const Pixel before = shownAt(x, y);
        model_.cell(cx, cy) = model_.current;
        const Pixel want = shownAt(x, y);
        ASSERT_NE(before, want) << "the test paints where the change could not be seen";
        // Plain variables, not a structured binding, for the lambda below to capture.
        const std::pair<int, int> pixel = windowPixelOver(x, y);
        const int wx = pixel.first;
        const int wy = pixel.second;
        moveTo(wx, wy);
        xdotool({"mousedown", "1"});
        waitFor("cell (" + std::to_string(cx) + ", " + std::to_string(cy) + ") painted under the pointer",
                [&] {
                    const std::optional<e2e::Screenshot> shot = x_->capture(window_);
                    if (!shot)
                        return false;
                    mismatch_ = "window pixel (" + std::to_string(wx) + ", " + std::to_string(wy) +
                                ") shows " + hex(shot->at(wx, wy)) + ", expected " + hex(want);
                    return shot->at(wx, wy) == want;
                });
        xdotool({"mouseup", "1"});
    }

    // Picks palette entry j with a press in the middle of its swatch, held long enough for many
    // frames to sample it; the next cell painted shows whether it was picked.
    void pickOver(int j) {
        model_.selected = j;
        model_.current = model_.palette[static_cast<std::size_t>(j)];
        const auto [wx, wy] = windowPixelOver(model_.swatchCentre(j), model_.windowSize - 16);
        moveTo(wx, wy);
        xdotool({"mousedown", "1", "sleep", "0.3", "mouseup", "1"});
    }
};

TEST_P(EditorResized, PaintsAndPicksUnderThePointer) {
    const ResizeCase& c = GetParam();
    launch("400 4 5\n", Model::make(400, 4, 5, builtInPalette));
    waitForScreen("the first frame");
    resize(c.width, c.height);
    paintCell(5, 5);
    pickOver(3);
    paintCell(14, 12);
    paintCell(0, 17);
    saveAndCompare("ctrl+s");
    waitForTitle("TESSERA.EXE — saved image.png and canvas.png");
    expectCanvasFile();
    closeAndExpectExitZero();
}

INSTANTIATE_TEST_SUITE_P(Sizes, EditorResized,
                         testing::Values(ResizeCase{"Wider", 700, 400}, ResizeCase{"Larger", 600, 500},
                                         ResizeCase{"SmallerAndTaller", 300, 500}),
                         [](const testing::TestParamInfo<ResizeCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// Without a display the editor says why in one line on stderr and exits 1; it does not abort.

// A display number nobody serves: no X server holds its lock file or its socket.
std::string unservedDisplay() {
    for (int n = 97;; ++n)
        if (!std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock") &&
            !std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)))
            return ":" + std::to_string(n);
}

struct NoDisplayCase {
    const char* name;
    std::vector<std::string> command;
    std::string display;
    std::string named; // what the message must name
};

class EditorWithoutDisplay : public testing::TestWithParam<NoDisplayCase> {};

TEST_P(EditorWithoutDisplay, ExplainsInOneLineAndExitsOne) {
    const NoDisplayCase& c = GetParam();
    e2e::TemporaryDirectory directory;
    const std::filesystem::path log = directory.path() / "stderr.log";
    e2e::Process editor(c.command, directory.path(), c.display, log);
    EXPECT_EQ(editor.waitForExit(e2e::actionTimeout), std::optional<int>(1));
    std::ifstream in(log);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_TRUE(text.ends_with("\n")) << text;
    EXPECT_NE(text.find(c.named), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(directory.path() / "core")) << "a core was dumped";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditorWithoutDisplay,
    testing::Values(NoDisplayCase{"Unset", {"env", "-u", "DISPLAY", TESSERA_EDITOR}, "", "DISPLAY"},
                    NoDisplayCase{
                        "Unserved", {TESSERA_EDITOR}, unservedDisplay(), "\"" + unservedDisplay() + "\""}),
    [](const testing::TestParamInfo<NoDisplayCase>& info) { return std::string(info.param.name); });

} // namespace

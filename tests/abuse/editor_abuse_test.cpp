// The editor under abuse, in a real window under a private Xvfb server: settings files that
// refuse every value in turn, a storm of random input, and an image.png it cannot write (which the
// title must report). In every case the editor must keep painting, leave every file but image.png
// exactly as it found it, and exit 0 when its window is closed.
#include "editor_fixture.h"

#include <SFML/Graphics/Image.hpp>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Rgb = std::uint32_t; // 0xRRGGBB, as the screenshots hold it

// Where the window is moved, so that the pointer can leave it on every side.
constexpr int windowLeft = 200;
constexpr int windowTop = 200;

constexpr Rgb white = 0xFFFFFF;
constexpr Rgb black = 0x000000;

std::string hex(Rgb colour) {
    std::ostringstream out;
    out << '#' << std::hex;
    out.width(6);
    out.fill('0');
    out << colour;
    return out.str();
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}};
}

// Every regular file under `directory` with its content, for before-and-after comparisons.
std::map<std::string, std::string> filesUnder(const std::filesystem::path& directory) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator{directory})
        files[std::filesystem::relative(entry.path(), directory).string() +
              (entry.is_directory() ? "/" : "")] = entry.is_regular_file() ? readFile(entry.path()) : "";
    return files;
}

// What a settings file should lead to, as far as these tests look: the refused values replaced
// by the defaults (window 800, factor 4, zoom 5, so cells of 20 pixels), or no cell at all.
struct Expected {
    int windowSize = 800;
    int cellSize = 20; // 0: the canvas has no cells
    int factor = 4;
    Rgb background = black; // palette entry 0, the canvas's first colour
    Rgb paint = white;      // palette entry 1, the first painting colour
};

class EditorUnderAbuse : public e2e::EditorFixture {
protected:
    // Starts the editor with `settings`, its window at (windowLeft, windowTop).
    void launch(const std::string& settings, const Expected& expected) {
        expected_ = expected;
        launchEditor(settings, windowLeft, windowTop);
    }

    // Whether every window pixel of the square [left, left + side) x [top, top + side) shows
    // `colour`.
    bool squareShows(int left, int top, int side, Rgb colour) {
        const std::optional<e2e::Screenshot> shot = x_->capture(window_);
        if (!shot) {
            mismatch_ = "the window could not be read";
            return false;
        }
        for (int y = top; y < top + side; ++y)
            for (int x = left; x < left + side; ++x)
                if (shot->at(x, y) != colour) {
                    mismatch_ = "window pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") shows " +
                                hex(shot->at(x, y)) + ", expected " + hex(colour);
                    return false;
                }
        return true;
    }

    // Paints cells (4..6, 4..6) by holding the left button over each in turn until the window
    // shows cell (5, 5) in the painting colour: with all its neighbours painted too, the
    // enlargement leaves its block unblended.
    void paintAndSee() {
        const int c = expected_.cellSize;
        waitFor("cell (5, 5) shows the painted colour", [&] {
            for (int cy = 4; cy <= 6; ++cy)
                for (int cx = 4; cx <= 6; ++cx) {
                    moveTo(cx * c + c / 2, cy * c + c / 2);
                    xdotool({"mousedown", "1", "sleep", "0.05", "mouseup", "1"});
                }
            return squareShows(5 * c, 5 * c, c, expected_.paint);
        });
    }

    // Presses S until image.png appears as the enlargement of a canvas whose cell (5, 5) has the
    // painted colour.
    void saveAndCheck() {
        const std::filesystem::path file = work_ / "image.png";
        std::filesystem::remove(file);
        const int canvasSide = expected_.windowSize / expected_.cellSize;
        const auto side = static_cast<unsigned>(canvasSide * expected_.factor);
        const auto centre = static_cast<unsigned>(5 * expected_.factor + expected_.factor / 2);
        waitFor("image.png holds the enlargement", [&] {
            xdotool({"key", "s"});
            sf::Image image;
            if (!std::filesystem::exists(file) || !image.loadFromFile(file.string()))
                return false;
            const sf::Color c = image.getPixel(centre, centre);
            const Rgb got = Rgb{c.r} << 16 | Rgb{c.g} << 8 | c.b;
            mismatch_ = "image.png is " + std::to_string(image.getSize().x) + " x " +
                        std::to_string(image.getSize().y) + " with " + hex(got) + " at the painted cell";
            return image.getSize() == sf::Vector2u{side, side} && got == expected_.paint;
        });
    }

    Expected expected_;
};

// ---------------------------------------------------------------------------------------------
// Settings that refuse one value each.

struct RefusingSettings {
    const char* name;
    std::string content;
    Expected expected;
};

std::string threeHundredColourLines() {
    std::string text = "800 4 5\n";
    for (int i = 0; i < 300; ++i)
        text += std::to_string(i % 256) + "," + std::to_string((i * 37) % 256) + "," +
                std::to_string(255 - i % 256) + "\n";
    return text;
}

// Bytes of every value, no line structure, starting with a byte that begins no number.
std::string binaryGarbage() {
    std::string bytes(4096, '\0');
    std::mt19937 random{20240607};
    for (char& b : bytes)
        b = static_cast<char>(random() & 0xFF);
    bytes[0] = '\x89';
    return bytes;
}

class EditorRefusingSettings : public EditorUnderAbuse,
                               public testing::WithParamInterface<RefusingSettings> {};

TEST_P(EditorRefusingSettings, StartsPaintsAndExitsZero) {
    const RefusingSettings& c = GetParam();
    launch(c.content, c.expected);
    EXPECT_EQ(geometry_.width, c.expected.windowSize);
    EXPECT_EQ(geometry_.height, c.expected.windowSize);
    if (c.expected.cellSize > 0) {
        waitFor("the first frame shows the canvas",
                [&] { return squareShows(100, 100, 20, c.expected.background); });
        paintAndSee();
        saveAndCheck();
    } else {
        // No cell to paint: a press leaves the image area as it was, and the editor goes on.
        waitFor("the first frame shows the empty image area", [&] { return squareShows(0, 0, 200, black); });
        moveTo(100, 100);
        xdotool({"mousedown", "1", "sleep", "0.3", "mouseup", "1", "key", "s", "key", "Escape"});
        waitFor("the image area stays empty", [&] { return squareShows(0, 0, 200, black); });
    }
    EXPECT_EQ(readFile(work_ / "settings.cfg"), c.content) << "settings.cfg was changed";
    closeAndExpectExitZero();
}

INSTANTIATE_TEST_SUITE_P(
    OneValueEach, EditorRefusingSettings,
    testing::Values(
        RefusingSettings{"WindowSizeZero", "0 4 5\n", {}},
        RefusingSettings{"WindowSizeNegative", "-5 4 5\n", {}},
        RefusingSettings{"WindowSizeHuge", "99999999 4 5\n", {}},
        RefusingSettings{"FactorZero", "800 0 5\n", {}}, RefusingSettings{"FactorOne", "800 1 5\n", {}},
        RefusingSettings{"FactorSix", "800 6 5\n", {}}, RefusingSettings{"FactorNegative", "800 -3 5\n", {}},
        RefusingSettings{"ZoomZero", "800 4 0\n", {}}, RefusingSettings{"ZoomNegative", "800 4 -1\n", {}},
        // Accepted, but no cell fits the window.
        RefusingSettings{"ZoomLargest", "800 4 2147483647\n", {800, 0, 4, black, white}},
        RefusingSettings{"HeaderOfLetters", "abc def ghi\n10,20,30\n40,50,60\n", {}},
        // Only the first 256 colours are taken; entries 0 and 1 are the first two lines.
        RefusingSettings{
            "ThreeHundredColourLines", threeHundredColourLines(), {800, 20, 4, 0x0000FF, 0x0125FE}},
        RefusingSettings{"BinaryGarbage", binaryGarbage(), {}}),
    [](const testing::TestParamInfo<RefusingSettings>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Random input.

// Presses, releases, moves inside and far outside the window, drags that leave it, Escape, undo,
// redo and S, from a fixed seed so that a failure can be replayed. Sent in chunks, a few seconds
// in all.
TEST_F(EditorUnderAbuse, SurvivesAStormOfRandomInput) {
    const std::string settings = "800 4 5\n";
    launch(settings, Expected{});
    std::ofstream(work_ / "notes.txt") << "not the editor's to touch\n";
    waitFor("the first frame", [&] { return squareShows(100, 100, 20, black); });

    std::mt19937 random{5};
    const auto screenPoint = [&](std::vector<std::string>& commands) {
        // From 150 pixels outside the window on every side to 150 pixels past its far edges.
        std::uniform_int_distribution<int> offset{-150, 800 + 150};
        commands.insert(commands.end(), {"mousemove", std::to_string(windowLeft + offset(random)),
                                         std::to_string(windowTop + offset(random))});
    };
    constexpr int chunks = 12;
    constexpr int actionsPerChunk = 25;
    for (int chunk = 0; chunk < chunks; ++chunk) {
        std::vector<std::string> commands;
        for (int i = 0; i < actionsPerChunk; ++i) {
            const std::string button = random() % 2 == 0 ? "1" : "3";
            switch (random() % 7) {
            case 0:
                screenPoint(commands);
                break;
            case 1:
                commands.insert(commands.end(), {"mousedown", button});
                break;
            case 2:
                commands.insert(commands.end(), {"mouseup", button});
                break;
            case 3: // a drag that may end outside the window
                screenPoint(commands);
                commands.insert(commands.end(), {"mousedown", button, "sleep", "0.03"});
                screenPoint(commands);
                commands.insert(commands.end(), {"sleep", "0.03"});
                screenPoint(commands);
                commands.insert(commands.end(), {"mouseup", button});
                break;
            case 4:
                commands.insert(commands.end(), {"key", "Escape"});
                break;
            case 5: // undo or redo, also in the middle of a stroke
                commands.insert(commands.end(), {"key", random() % 2 == 0 ? "ctrl+z" : "ctrl+y"});
                break;
            default:
                commands.insert(commands.end(), {"key", "s"});
                break;
            }
            commands.insert(commands.end(), {"sleep", "0.01"});
        }
        xdotool(commands);
        ASSERT_TRUE(editor_->running()) << "the editor ended during chunk " << chunk;
    }
    xdotool({"mouseup", "1"});
    xdotool({"mouseup", "3"});
    EXPECT_TRUE(std::filesystem::is_regular_file(work_ / "image.png"))
        << "no S of the storm reached the editor";

    // Still answering: Escape with a picked white fills the canvas, and S saves it.
    waitFor("white is picked and fills the canvas", [&] {
        xdotool({"mousemove", std::to_string(windowLeft + 75), std::to_string(windowTop + 800 - 16),
                 "mousedown", "1", "sleep", "0.05", "mouseup", "1", "key", "Escape"});
        return squareShows(0, 0, 200, white);
    });
    saveAndCheck();
    EXPECT_EQ(readFile(work_ / "settings.cfg"), settings) << "settings.cfg was changed";
    EXPECT_EQ(readFile(work_ / "notes.txt"), "not the editor's to touch\n");
    closeAndExpectExitZero();
}

// ---------------------------------------------------------------------------------------------
// A save that cannot succeed.

TEST_F(EditorUnderAbuse, GoesOnWhenImagePngIsADirectory) {
    launch("800 4 5\n", Expected{});
    std::filesystem::create_directory(work_ / "image.png");
    std::ofstream(work_ / "image.png" / "inside.txt") << "kept\n";
    const std::map<std::string, std::string> before = filesUnder(work_);
    waitFor("the first frame", [&] { return squareShows(100, 100, 20, black); });

    // What the window shows after each failed save proves that the editor still runs its frames.
    xdotool({"key", "s", "key", "s", "key", "s"});
    waitForTitle("TESSERA.EXE — could not save image.png: Is a directory");
    paintAndSee();
    waitFor("Escape after another save fills the canvas with white", [&] {
        xdotool({"key", "s", "key", "Escape"});
        return squareShows(0, 0, 200, white);
    });

    EXPECT_TRUE(std::filesystem::is_directory(work_ / "image.png"));
    EXPECT_EQ(filesUnder(work_), before) << "a file in the working directory was added, changed or lost";
    closeAndExpectExitZero();
}

} // namespace

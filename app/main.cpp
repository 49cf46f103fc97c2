// Tessera: paint a small canvas cell by cell; every frame shows its pixel-art enlargement.
//
// Controls: left button paints a cell or, over the bar at the bottom, picks a palette colour;
// right button takes a colour from the shown image; Escape fills the canvas with the current
// colour; Ctrl+Z undoes a stroke, fill or open, Ctrl+Y and Ctrl+Shift+Z redo it; S saves the shown
// enlargement to image.png, and Ctrl+S the canvas itself to canvas.png as well, each replacing an
// earlier file only once the new one is whole; Ctrl+O opens canvas.png onto the canvas. The title
// bar says for a few seconds what a save or open did, and why a file could not be saved.
// Settings come from settings.cfg in the working directory.
// Command-line arguments are ignored. Without a display to open the window on, it says so in one
// line on stderr and exits with status 1.
#include "shell/canvas_file.h"
#include "shell/display_connection.h"
#include "shell/settings_file.h"
#include "shell/sfml_adapter.h"

#include <SFML/Graphics.hpp>
#include <array>
#include <iostream>
#include <memory>
#include <temporary_files.h>
#include <tessera/editor/editor.h>
#include <tessera/editor/settings.h>
#include <whole_files.h>

namespace {

constexpr unsigned framesPerSecond = 60;

void carryOut(KeyEffect effect, EditorState& state, mode_t fileMode) {
    const std::filesystem::path previewFile{previewFileName};
    const std::filesystem::path canvasFile{canvasFileName};
    switch (effect) {
    case KeyEffect::SavePreview: {
        // The preview still holds the previous frame's enlargement.
        const SaveOutcome outcome{previewFileName, writePreviewFile(state, previewFile, fileMode)};
        noteSaved(state, {&outcome, 1}, Clock::now());
        break;
    }
    case KeyEffect::SavePreviewAndCanvas: {
        const std::array outcomes{
            SaveOutcome{previewFileName, writePreviewFile(state, previewFile, fileMode)},
            SaveOutcome{canvasFileName, writeCanvasFile(state, canvasFile, fileMode)}};
        noteSaved(state, outcomes, Clock::now());
        break;
    }
    case KeyEffect::OpenCanvas:
        openCanvasFile(state, canvasFile, Clock::now());
        break;
    case KeyEffect::None:
        break;
    }
}

void handleEvents(sf::RenderWindow& window, EditorState& state, mode_t fileMode) {
    sf::Event event;
    while (window.pollEvent(event)) {
        if (event.type == sf::Event::Closed)
            // The rest of this frame still runs; the loop ends at its next test.
            window.close();
        else if (event.type == sf::Event::KeyPressed)
            carryOut(applyKey(state, toKeyInput(event.key)), state, fileMode);
    }
}

} // namespace

int main() {
    // Closed last, after everything else has been released.
    SettingsFile settingsFile;
    const EditorSettings settings = loadSettings("settings.cfg", settingsFile);

    // SFML's own error messages (a texture the driver refuses, for example) are dropped: the
    // editor writes to its terminal only when it has no display, and saves report in the title.
    sf::err().rdbuf(nullptr);
    // Both before the graphics driver starts threads of its own.
    const mode_t fileMode = tessera::files::newFileMode();
    tessera::files::removeTemporariesOnSignals();

    DisplayConnection display = openDisplay();
    if (display.display == nullptr) {
        std::cerr << display.failure << std::endl;
        return noDisplayExitStatus;
    }

    const EditorLayout layout = deriveLayout(settings);
    const auto side = static_cast<unsigned>(layout.windowSize);
    // Depth 0, stencil 0, no antialiasing, OpenGL 2.0.
    const sf::ContextSettings context(0, 0, 0, 2, 0);
    beginAbortGuard(display);
    auto window = std::make_unique<sf::RenderWindow>(
        sf::VideoMode(side, side, 32), sf::String(std::string(windowName)), sf::Style::Default, context);
    endAbortGuard();
    closeDisplay(display);
    window->setFramerateLimit(framesPerSecond);

    EditorState state = startEditor(settings);
    auto previewTexture = std::make_unique<sf::Texture>();
    createPreviewTexture(*previewTexture, state);

    std::string shownTitle(windowName);
    while (window->isOpen()) {
        handleEvents(*window, state, fileMode);
        applyMouse(state, sampleMouse(*window, state));
        enlargeCanvas(state);
        uploadPreview(*previewTexture, state);
        drawFrame(*window, *previewTexture, state);
        showTitle(*window, windowTitle(state, Clock::now()), shownTitle);
    }

    releaseBuffers(state);
    previewTexture.reset();
    window.reset();
    closeSettingsFile(settingsFile);
    return 0;
}

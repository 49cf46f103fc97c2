// Tessera: paint a small canvas cell by cell; every frame shows its pixel-art enlargement.
//
// Controls: left button paints a cell or, over the bar at the bottom, picks a palette colour;
// right button takes a colour from the shown image; Escape fills the canvas with the current
// colour; Ctrl+Z undoes a stroke or fill, Ctrl+Y and Ctrl+Shift+Z redo it; S saves the shown
// enlargement to image.png. Settings come from settings.cfg in the working directory.
// Command-line arguments are ignored. Without a display to open the window on, it says so in one
// line on stderr and exits with status 1.
#include "shell/display_connection.h"
#include "shell/sfml_adapter.h"

#include <SFML/Graphics.hpp>
#include <fstream>
#include <iostream>
#include <memory>
#include <tessera/editor/editor.h>
#include <tessera/editor/settings.h>

namespace {

constexpr unsigned framesPerSecond = 60;

void handleEvents(sf::RenderWindow& window, EditorState& state) {
    sf::Event event;
    while (window.pollEvent(event)) {
        if (event.type == sf::Event::Closed) {
            // The rest of this frame still runs; the loop ends at its next test.
            window.close();
        } else if (event.type == sf::Event::KeyPressed &&
                   applyKey(state, toKeyInput(event.key)) == KeyEffect::SavePreview) {
            // The preview still holds the previous frame's enlargement.
            savePreview(state, "image.png");
        }
    }
}

} // namespace

int main() {
    // Declared first so that it is closed last, after everything else has been released.
    std::ifstream settingsFile;
    const EditorSettings settings = loadSettings(settingsFile);

    // The program reports nothing: SFML's own error messages (a failed save, a texture the
    // driver refuses) are dropped as well.
    sf::err().rdbuf(nullptr);

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
    auto window = std::make_unique<sf::RenderWindow>(sf::VideoMode(side, side, 32), sf::String("TESSERA.EXE"),
                                                     sf::Style::Default, context);
    endAbortGuard();
    closeDisplay(display);
    window->setFramerateLimit(framesPerSecond);

    EditorState state = startEditor(settings);
    auto previewTexture = std::make_unique<sf::Texture>();
    createPreviewTexture(*previewTexture, state);

    while (window->isOpen()) {
        handleEvents(*window, state);
        applyMouse(state, sampleMouse(*window));
        enlargeCanvas(state);
        uploadPreview(*previewTexture, state);
        drawFrame(*window, *previewTexture, state);
    }

    releaseBuffers(state);
    previewTexture.reset();
    window.reset();
    settingsFile.close();
    return 0;
}

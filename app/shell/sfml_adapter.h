// The editor's window-library side: turns the window's mouse into a MouseInput and its key
// presses into KeyInputs, keeps the preview texture in step with the preview, draws a frame and
// sets the title. Every
// decision is made by the editor core; these functions only carry its data to and from SFML.
#pragma once

#include <SFML/Graphics.hpp>
#include <string>
#include <tessera/editor/editor.h>

sf::Color toSfColour(Colour colour);

// Real-time button states and the pointer position, sampled whether or not the window has the
// focus. The position is relative to the window's client area, carried back to the start-up
// layout when the window has been resized (window_fit.h).
MouseInput sampleMouse(const sf::Window& window, const EditorState& state);

// The key and the modifiers of a key press event.
KeyInput toKeyInput(const sf::Event::KeyEvent& key);

// Creates the texture at the preview's size with smoothing off. A preview of no pixels gets no
// texture; a texture the graphics driver refuses stays empty and is never drawn.
void createPreviewTexture(sf::Texture& texture, const EditorState& state);

// Uploads the preview rows the frame's enlargement rewrote; does nothing to a texture that was
// never created.
void uploadPreview(sf::Texture& texture, const EditorState& state);

// Clears to opaque black, draws the preview magnified by the zoom at (0, 0), then the palette bar,
// and displays the frame; in a resized window, all of it scaled into the square fitLayout gives.
void drawFrame(sf::RenderWindow& window, const sf::Texture& texture, const EditorState& state);

// Sets the window's title to `title` (UTF-8) unless `shown`, the title last set, already holds it.
void showTitle(sf::Window& window, const std::string& title, std::string& shown);

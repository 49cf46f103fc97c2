#include "sfml_adapter.h"

#include <tessera/editor/window_fit.h>

namespace {

void drawRectangle(sf::RenderWindow& window, const BarRectangle& rectangle) {
    sf::RectangleShape shape({rectangle.width, rectangle.height});
    shape.setPosition(rectangle.left, rectangle.top);
    shape.setFillColor(toSfColour(rectangle.fill));
    shape.setOutlineThickness(rectangle.outlineThickness);
    shape.setOutlineColor(toSfColour(rectangle.outlineColour));
    window.draw(shape, sf::RenderStates::Default);
}

// The start-up square of layoutSize window pixels, drawn over the part of the window that
// fitLayout gives it.
sf::View layoutView(sf::Vector2u windowSize, std::int32_t layoutSize) {
    const auto side = static_cast<float>(layoutSize);
    sf::View view(sf::FloatRect(0.0f, 0.0f, side, side));
    const LayoutFit fit = fitLayout(windowSize.x, windowSize.y);
    if (fit.side > 0) {
        const auto width = static_cast<float>(windowSize.x);
        const auto height = static_cast<float>(windowSize.y);
        view.setViewport(
            sf::FloatRect(static_cast<float>(fit.left) / width, static_cast<float>(fit.top) / height,
                          static_cast<float>(fit.side) / width, static_cast<float>(fit.side) / height));
    }
    return view;
}

} // namespace

sf::Color toSfColour(Colour colour) {
    return sf::Color(colour.r, colour.g, colour.b, colour.a);
}

MouseInput sampleMouse(const sf::Window& window, const EditorState& state) {
    MouseInput mouse;
    mouse.left = sf::Mouse::isButtonPressed(sf::Mouse::Left);
    mouse.right = sf::Mouse::isButtonPressed(sf::Mouse::Right);
    const sf::Vector2i position = sf::Mouse::getPosition(window);
    const LayoutPoint point = toLayoutPoint(fitLayout(window.getSize().x, window.getSize().y),
                                            state.layout.windowSize, position.x, position.y);
    mouse.x = point.x;
    mouse.y = point.y;
    return mouse;
}

KeyInput toKeyInput(const sf::Event::KeyEvent& key) {
    KeyInput input;
    input.control = key.control;
    input.shift = key.shift;
    switch (key.code) {
    case sf::Keyboard::Escape:
        input.key = Key::Escape;
        break;
    case sf::Keyboard::O:
        input.key = Key::O;
        break;
    case sf::Keyboard::S:
        input.key = Key::S;
        break;
    case sf::Keyboard::Y:
        input.key = Key::Y;
        break;
    case sf::Keyboard::Z:
        input.key = Key::Z;
        break;
    default:
        input.key = Key::Other;
        break;
    }
    return input;
}

void createPreviewTexture(sf::Texture& texture, const EditorState& state) {
    if (state.layout.targetCount > 0)
        texture.create(static_cast<unsigned>(state.layout.previewWidth),
                       static_cast<unsigned>(state.layout.previewHeight));
    texture.setSmooth(false);
}

void uploadPreview(sf::Texture& texture, const EditorState& state) {
    // A texture that could not be created has size 0 × 0, and the preview must match its size.
    if (texture.getSize() == sf::Vector2u(static_cast<unsigned>(state.layout.previewWidth),
                                          static_cast<unsigned>(state.layout.previewHeight)) &&
        state.enlargedRows.begin < state.enlargedRows.end) {
        // Only the rows the frame's enlargement rewrote; the texture holds the others already.
        const auto factor = static_cast<unsigned>(state.layout.scaleFactor);
        const auto top = static_cast<unsigned>(state.enlargedRows.begin) * factor;
        const auto rows = static_cast<unsigned>(state.enlargedRows.end - state.enlargedRows.begin) * factor;
        const auto width = static_cast<unsigned>(state.layout.previewWidth);
        texture.update(state.preview.data() + std::size_t{top} * width * 4, width, rows, 0, top);
    }
}

void drawFrame(sf::RenderWindow& window, const sf::Texture& texture, const EditorState& state) {
    // The clear covers the whole window, the bars around the square included.
    window.clear(sf::Color(0, 0, 0, 255));
    window.setView(layoutView(window.getSize(), state.layout.windowSize));
    if (texture.getSize().x > 0 && texture.getSize().y > 0) {
        sf::Sprite sprite(texture);
        const auto zoom = static_cast<float>(state.layout.zoom);
        sprite.setScale(zoom, zoom);
        window.draw(sprite, sf::RenderStates::Default);
    }
    const PaletteBar bar = layOutPaletteBar(state);
    for (const BarRectangle& swatch : bar.swatches)
        drawRectangle(window, swatch);
    for (const BarRectangle& outline : bar.outlines)
        drawRectangle(window, outline);
    window.display();
}

void showTitle(sf::Window& window, const std::string& title, std::string& shown) {
    if (title == shown)
        return;
    window.setTitle(sf::String::fromUtf8(title.begin(), title.end()));
    shown = title;
}

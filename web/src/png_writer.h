// PNG files of the page's enlargements, written inside the module so that no canvas
// premultiplies or colour-manages a pixel on the way out.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessera::web {

// Encodes `width` x `height` pixels of 8-bit red, green, blue and alpha (row-major from the
// top) losslessly: as RGB when every pixel is opaque, else as RGBA. Empty when memory runs
// out.
std::vector<std::uint8_t> encodePng(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                    std::uint32_t height);

} // namespace tessera::web

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <tessera/scaler.h>
#include <vector>

int main() {
    const std::int32_t width = 3, height = 2, factor = 4;
    const std::vector<Pixel> sprite(width * height, 0xff2080c0);   // 0xAARRGGBB, all one colour
    std::vector<Pixel> enlarged(width * factor * height * factor); // factor x factor pixels per pixel
    upscale(factor, sprite.data(), enlarged.data(), width, height, ScaleSettings{}, INT32_MAX);
    // A picture of one colour has no edges to follow, so every target pixel is a plain copy.
    const auto copies = std::count(enlarged.begin(), enlarged.end(), sprite[0]);
    std::printf("%zu of %zu pixels are copies\n", static_cast<std::size_t>(copies), enlarged.size());
}

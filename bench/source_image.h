// The benchmarks' source images: the test sprites decoded from their files, and images
// made up from them or at random.
#pragma once

#include <cstdint>
#include <string>
#include <tessera/scaler.h>
#include <vector>

struct SourceImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Pixel> pixels;
};

enum class Alpha { Opaque, Kept };

// The image at `path` as 0xFFRRGGBB words, as the editor's canvas holds pixels, or with
// its alpha kept for the alpha-aware entries. An image that cannot be loaded gives an
// empty source.
SourceImage loadSourceImage(const std::string& path, Alpha alpha);

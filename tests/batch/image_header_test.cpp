#include "crafted_images.h"
#include "image_header.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace tessera::tool;
using namespace tessera::test;

struct HeaderCase {
    const char* name;
    std::string bytes;
    std::optional<DeclaredImage> expected;
};

std::string sheet() {
    std::ifstream file{std::string{TESSERA_TEST_DATA} + "/cdda_mshock_streetlight_64x80.png",
                       std::ios::binary};
    return {std::istreambuf_iterator<char>{file}, std::istreambuf_iterator<char>{}};
}

TEST(ReadDeclaredImage, ReadsTheSizeOfEveryFormatFromItsHeaderAlone) {
    const HeaderCase cases[] = {
        {"real PNG", sheet(), DeclaredImage{64, 80, 4}},
        {"16-bit PPM", ppmHeader(16, 16, 65535), DeclaredImage{16, 16, 8}},
        {"PNG", pngHeader(10000, 10000), DeclaredImage{10000, 10000, 4}},
        {"16-bit PNG", pngHeader(8192, 8192, 16), DeclaredImage{8192, 8192, 8}},
        {"TGA", tgaHeader(8224, 8224), DeclaredImage{8224, 8224, 4}},
        {"BMP", bmpHeader(20000, 20000), DeclaredImage{20000, 20000, 4}},
        {"GIF", gifHeader(30000, 30000), DeclaredImage{30000, 30000, 4}},
        {"PSD", psdHeader(4, 67108869), DeclaredImage{4, 67108869, 4}},
        {"JPEG", jpegHeader(65500, 65500), DeclaredImage{65500, 65500, 4}},
        {"JPEG with a Huffman table of 256 codes",
         std::string{"\xFF\xD8"} + jpegHuffmanTable(256) + jpegHeader(640, 480).substr(2),
         DeclaredImage{640, 480, 4}},
        {"PPM", ppmHeader(20000, 20000), DeclaredImage{20000, 20000, 4}},
        {"HDR", hdrHeader(4096, 8192), DeclaredImage{4096, 8192, 16}},
        {"PIC", picHeader(16384, 16384) + std::string(3, '\0'), DeclaredImage{16384, 16384, 4}},
        // Headers the decoder refuses, so that nothing is declared.
        {"PNG of more than 1 GiB of samples", pngHeader(20000, 20000), std::nullopt},
        {"PNG header cut short", pngHeader(64, 80).substr(0, 23), std::nullopt},
        {"PNG of 3 bits per sample", pngHeader(64, 80, 3), std::nullopt},
        {"PSD side beyond 2^31", psdHeader(0x80000000u, 1), std::nullopt},
        {"PSD in CMYK", psdHeader(16, 16).replace(24, 2, std::string{"\0\x04", 2}), std::nullopt},
        {"PPM side beyond 2^31", "P6\n4294967295 5\n255\n", std::nullopt}, // wraps to -1
        {"PPM of more than 16 bits", ppmHeader(16, 16, 70000), std::nullopt},
        {"HDR without its format line", "#?RADIANCE\n\n-Y 16 +X 16\n", std::nullopt},
        // A Huffman table of more than 256 codes would be built past the decoder's arrays.
        {"JPEG with a Huffman table of 257 codes",
         std::string{"\xFF\xD8"} + jpegHuffmanTable(257) + jpegHeader(640, 480).substr(2), std::nullopt},
        {"JPEG with a Huffman table of 257 codes after a scan",
         jpegHeader(640, 480) + jpegScan() + jpegHuffmanTable(257), std::nullopt},
        {"JPEG with a Huffman table cut short after a scan, its counts in",
         jpegHeader(640, 480) + jpegScan() + jpegHuffmanTable(400).substr(0, 15), std::nullopt},
        {"text", "not an image\n", std::nullopt},
        {"nothing", "", std::nullopt},
    };
    for (const HeaderCase& c : cases) {
        const std::optional<DeclaredImage> declared = readDeclaredImage(c.bytes);
        EXPECT_EQ(declared.has_value(), c.expected.has_value()) << c.name;
        if (!declared || !c.expected)
            continue;
        EXPECT_EQ(declared->width, c.expected->width) << c.name;
        EXPECT_EQ(declared->height, c.expected->height) << c.name;
        EXPECT_EQ(declared->decoderBytesPerPixel, c.expected->decoderBytesPerPixel) << c.name;
    }
}

} // namespace

#include "crafted_images.h"
#include "enlarge.h"
#include "still_decoder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace tessera;
using namespace tessera::codecs;
using namespace tessera::test;

struct HeaderCase {
    const char* name;
    std::string bytes;
    std::optional<DeclaredImage> expected;
};

std::string readFile(const std::string& path) {
    std::ifstream file{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{file}, std::istreambuf_iterator<char>{}};
}

std::string sheet() {
    return readFile(std::string{TESSERA_TEST_DATA} + "/cdda_mshock_streetlight_64x80.png");
}

// 3 x 2 pixels, each channel different.
const std::vector<std::uint8_t> sixPixels = {200, 10, 10, 10,  200, 10, 10, 10, 200,
                                             90,  90, 90, 250, 250, 0,  0,  0,  7};

TEST(ReadDeclaredStill, ReadsTheSizeOfEveryFormatFromItsHeaderAlone) {
    const HeaderCase cases[] = {
        {"real PNG", sheet(), DeclaredImage{64, 80, 4}},
        {"PNG", pngHeader(10000, 10000), DeclaredImage{10000, 10000, 4}},
        {"16-bit PNG", pngHeader(8192, 8192, 16), DeclaredImage{8192, 8192, 8}},
        {"TGA", tgaHeader(8224, 8224), DeclaredImage{8224, 8224, 4}},
        {"BMP", bmpHeader(20000, 20000), DeclaredImage{20000, 20000, 4}},
        {"JPEG", jpegHeader(65500, 65500), DeclaredImage{65500, 65500, 4}},
        {"JPEG with a Huffman table of 256 codes",
         std::string{"\xFF\xD8"} + jpegHuffmanTable(256) + jpegHeader(640, 480).substr(2),
         DeclaredImage{640, 480, 4}},
        // Sizes whose samples pass the decoder's own limit of 1 GiB, read from the header directly,
        // so that they are judged too large rather than unreadable.
        {"PNG of more than 1 GiB of samples", pngHeader(46340, 46340), DeclaredImage{46340, 46340, 4}},
        {"1-bit grey PNG of 60000 x 60000", pngHeader(60000, 60000, 1, 0), DeclaredImage{60000, 60000, 4}},
        {"16-bit PNG of 2^31 - 1 pixels a side", pngHeader(0x7FFFFFFF, 0x7FFFFFFF, 16, 2),
         DeclaredImage{0x7FFFFFFF, 0x7FFFFFFF, 8}},
        // Headers the decoder refuses, so that nothing is declared.
        {"PNG of 2^31 pixels a side", pngHeader(0x80000000, 1), std::nullopt},
        {"palette PNG of 16 bits", pngHeader(64, 80, 16, 3), std::nullopt},
        {"PNG header cut short", pngHeader(64, 80).substr(0, 23), std::nullopt},
        {"PNG of 3 bits per sample", pngHeader(64, 80, 3), std::nullopt},
        // Formats the decoder could read but is built without: whole, valid images of each.
        {"PPM", ppmImage(3, sixPixels), std::nullopt},
        {"PSD", psdImage(3, sixPixels), std::nullopt},
        {"HDR", hdrImage(3, sixPixels), std::nullopt},
        {"PIC", picImage(3, sixPixels), std::nullopt},
        // A Huffman table of more than 256 codes would be built past the decoder's arrays.
        {"JPEG with a Huffman table of 257 codes",
         std::string{"\xFF\xD8"} + jpegHuffmanTable(257) + jpegHeader(640, 480).substr(2), std::nullopt},
        {"JPEG with a Huffman table of 257 codes after fill bytes before its start",
         std::string{"\xFF\xFF\xFF\xD8"} + jpegHuffmanTable(257) + jpegHeader(640, 480).substr(2),
         std::nullopt},
        {"JPEG with a Huffman table of 257 codes after a scan",
         jpegHeader(640, 480) + jpegScan() + jpegHuffmanTable(257), std::nullopt},
        {"JPEG with a Huffman table cut short after a scan, its counts in",
         jpegHeader(640, 480) + jpegScan() + jpegHuffmanTable(400).substr(0, 15), std::nullopt},
        // The decoder would grow its buffer to the length the chunk declares before reading it.
        {"PNG whose data chunk declares more than the file holds",
         readFile(std::string{TESSERA_FUZZ_REGRESSIONS} +
                  "/image_load/png_idat_declaring_more_than_the_file_holds.png"),
         std::nullopt},
        {"PNG whose first data chunk is empty",
         readFile(std::string{TESSERA_FUZZ_REGRESSIONS} + "/image_load/png_first_data_chunk_empty.png"),
         std::nullopt},
        {"text", "not an image\n", std::nullopt},
        {"nothing", "", std::nullopt},
    };
    for (const HeaderCase& c : cases) {
        const Result<DeclaredImage> result = readDeclaredStill(c.bytes);
        const DeclaredImage* declared = std::get_if<DeclaredImage>(&result);
        EXPECT_EQ(declared != nullptr, c.expected.has_value()) << c.name;
        if (const Failure* failure = std::get_if<Failure>(&result)) {
            EXPECT_EQ(*failure, (Failure{Step::Read, std::string{unreadableImage}})) << c.name;
        }
        if (declared == nullptr || !c.expected)
            continue;
        EXPECT_EQ(declared->width, c.expected->width) << c.name;
        EXPECT_EQ(declared->height, c.expected->height) << c.name;
        EXPECT_EQ(declared->decoderBytesPerPixel, c.expected->decoderBytesPerPixel) << c.name;
    }
}

// Headers alone, with no pixels behind them: a size that is judged acceptable goes on to decoding
// and is refused there as damaged, any other is refused for its size before decoding.
TEST(OpenFile, JudgesTheDeclaredSizeBeforeDecoding) {
    struct Case {
        std::string header;
        int factor;
        const char* refusal; // in the message of an Enlarge failure, or nullptr for a Read failure
    };
    const Case cases[] = {
        {pngHeader(8192, 8192), 2, nullptr}, // the largest enlargement, decoded in exactly 256 MiB
        {pngHeader(8192, 8193), 2, "too large: 8192 x 8193 enlarged by 2"},
        {pngHeader(4096, 4096), 5, "too large: 4096 x 4096 enlarged by 5"},
        {gifHeader(0, 7), 2, "empty"},
        {pngHeader(8192, 4096, 16), 2, nullptr}, // 16 bits per channel: 256 MiB
        {pngHeader(8192, 8192, 16), 2, "too large to decode: 8192 x 8192 needs 512 MiB"},
        {pngHeader(8192, 4097, 16), 2, "needs 257 MiB to decode, more than the limit of 256 MiB"},
        {gifHeader(30000, 30000), 2, "too large: 30000 x 30000 enlarged by 2"},
    };
    for (const Case& c : cases) {
        enlarge::Request request;
        request.factor = c.factor;
        const Result<enlarge::Opened> opened = enlarge::openFile(c.header, request);
        const Failure* failure = std::get_if<Failure>(&opened);
        ASSERT_NE(failure, nullptr) << c.refusal;
        if (c.refusal == nullptr) {
            EXPECT_EQ(*failure, (Failure{Step::Read, std::string{unreadableImage}}));
        } else {
            EXPECT_EQ(failure->step, Step::Enlarge) << c.refusal;
            EXPECT_NE(failure->reason.find(c.refusal), std::string::npos) << failure->reason;
        }
    }
}

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::uint32_t width;
    std::vector<std::uint8_t> rgb; // expected pixels, all opaque; empty when the file is refused
};

TEST(DecodeStill, DecodesToRgbaOfTheDeclaredSizeOrRefuses) {
    const DecodeCase cases[] = {
        // 16-bit samples keep their high byte.
        {"16-bit PNG", png16Image(3, sixPixels), 3, sixPixels},
        // The compressed data stops mid-block: the decoder must see its end, not inflate without one.
        {"PNG whose deflate data is cut short",
         readFile(std::string{TESSERA_FUZZ_REGRESSIONS} +
                  "/image_load/png_truncated_deflate_inflates_without_end.png"),
         0,
         {}},
        {"PNG of a header alone", pngHeader(6, 5), 0, {}},
        // Refused before the decoder grows its buffer to the length the chunk declares.
        {"PNG whose data chunk declares more than the file holds",
         readFile(std::string{TESSERA_FUZZ_REGRESSIONS} +
                  "/image_load/png_idat_declaring_more_than_the_file_holds.png"),
         0,
         {}},
        // The decoder would make black rows of what the file cuts off.
        {"TGA cut short after its bottom row",
         tgaHeader(3, 2) + std::string{"\x01\x02\x03\x04\x05\x06\x07\x08\x09"},
         0,
         {}},
        // Refused by the decoder itself, not only by the header reader before it.
        {"JPEG with a Huffman table of 257 codes",
         std::string{"\xFF\xD8"} + jpegHuffmanTable(257) + jpegHeader(3, 2).substr(2) + jpegScan(),
         0,
         {}},
        {"text", "not an image\n", 0, {}},
        {"nothing", "", 0, {}},
    };
    for (const DecodeCase& c : cases) {
        const Result<DecodedImage> result = decodeStill(c.bytes, withinPixels(UINT64_MAX));
        const DecodedImage* image = std::get_if<DecodedImage>(&result);
        ASSERT_EQ(image != nullptr, !c.rgb.empty()) << c.name;
        if (image == nullptr)
            continue;
        const auto height = static_cast<std::uint32_t>(c.rgb.size() / 3 / c.width);
        EXPECT_EQ(image->width, c.width) << c.name;
        EXPECT_EQ(image->height, height) << c.name;
        std::vector<std::uint8_t> expected;
        for (std::size_t i = 0; i < c.rgb.size(); i += 3)
            expected.insert(expected.end(), {c.rgb[i], c.rgb[i + 1], c.rgb[i + 2], 255});
        EXPECT_EQ(image->rgba, expected) << c.name;
        // The refusal before decoding relies on each image having the size its header declares.
        const Result<DeclaredImage> header = readDeclaredStill(c.bytes);
        const DeclaredImage* declared = std::get_if<DeclaredImage>(&header);
        ASSERT_NE(declared, nullptr) << c.name;
        EXPECT_EQ(declared->width, image->width) << c.name;
        EXPECT_EQ(declared->height, image->height) << c.name;
    }
}

// 3 x 2 pixels of 24 bits; a BMP's rows padded to 12 bytes, bottom-up.
std::string bmpPixels(std::size_t rows) {
    return bmpHeader(3, 2) + std::string(12 * (rows - 1) + 9, '\x40');
}

// A run-length coded TGA of 3 x 2 pixels from its packets.
std::string tgaRunLengths(const std::string& packets) {
    std::string bytes = tgaHeader(3, 2);
    bytes[2] = 10;
    return bytes + packets;
}

// Every pixel the header declares must be in the file: the decoder would read zeros past its end.
// Each file is whole, then cut by one byte.
TEST(DecodeStill, RefusesAFileWhosePixelDataIsCutShort) {
    const struct {
        const char* name;
        std::string whole;
    } cases[] = {
        // The padding after the last row is not needed.
        {"uncompressed BMP", bmpPixels(2)},
        {"uncompressed TGA", tgaHeader(3, 2) + std::string(18, '\x40')},
        // One pixel repeated once, then a packet of five pixels.
        {"run-length coded TGA", tgaRunLengths("\x80\x01\x02\x03\x04" + std::string(15, '\x05'))},
        // One pixel repeated six times.
        {"run-length coded TGA of one run", tgaRunLengths("\x85\x01\x02\x03")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<DecodedImage> whole = decodeStill(c.whole, withinPixels(UINT64_MAX));
        EXPECT_TRUE(std::holds_alternative<DecodedImage>(whole));
        const Result<DecodedImage> cut =
            decodeStill(std::string_view{c.whole}.substr(0, c.whole.size() - 1), withinPixels(UINT64_MAX));
        const Failure* failure = std::get_if<Failure>(&cut);
        ASSERT_NE(failure, nullptr);
        EXPECT_EQ(*failure, (Failure{Step::Read, std::string{unreadableImage}}));
    }
}

TEST(DecodeStill, KeepsTheAlphaOfARealImage) {
    const Result<DecodedImage> decoded = decodeStill(
        readFile(std::string{TESSERA_TEST_DATA} + "/cdda_uc_fire_32.png"), withinPixels(UINT64_MAX));
    const DecodedImage* image = std::get_if<DecodedImage>(&decoded);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 32u);
    EXPECT_EQ(image->height, 32u);
    std::set<std::uint8_t> alphas;
    for (std::size_t i = 3; i < std::size_t{32} * 32 * 4; i += 4)
        alphas.insert(image->rgba[i]);
    EXPECT_TRUE(alphas.contains(0) && alphas.contains(255) && alphas.size() > 2) << alphas.size();
}

} // namespace

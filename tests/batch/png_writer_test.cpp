// The PNG encoder: its zlib stream of independently compressed row groups, read by other decoders.
#include "png_chunks.h"
#include "png_encoder.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <spng.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using namespace tessera;

// Both checksums of the file, adler-32 and CRC-32, combined from parts against zlib's own of the whole.
TEST(ChecksumCombine, GivesTheChecksumOfTheJoinedBytes) {
    std::vector<std::uint8_t> bytes(70000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 300);
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{5552}, std::size_t{69999}}) {
        const std::span<const std::uint8_t> all{bytes};
        const auto adler = [](std::span<const std::uint8_t> part) {
            return static_cast<std::uint32_t>(::adler32(1, part.data(), static_cast<uInt>(part.size())));
        };
        const std::uint32_t joined =
            codecs::adler32Combine(adler(all.first(cut)), adler(all.subspan(cut)), bytes.size() - cut);
        EXPECT_EQ(joined, adler(all)) << cut;
        const auto crc = [](std::span<const std::uint8_t> part) {
            return static_cast<std::uint32_t>(::crc32(0, part.data(), static_cast<uInt>(part.size())));
        };
        EXPECT_EQ(codecs::crc32Combine(crc(all.first(cut)), crc(all.subspan(cut)), bytes.size() - cut),
                  crc(all))
            << cut;
    }
}

// What each decoder makes of a PNG file: its pixels as RGBA, or a message.
struct Decoded {
    std::vector<std::uint8_t> rgba;
    std::string failure;
};

Decoded withZlib(const std::vector<std::uint8_t>& file, std::size_t filteredBytes) {
    // The chunks' IDAT data joined, inflated strictly: the adler-32 at its end included.
    std::vector<std::uint8_t> stream;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::size_t length = std::size_t{file[at]} << 24 | std::size_t{file[at + 1]} << 16 |
                                   std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (std::memcmp(&file[at + 4], "IDAT", 4) == 0)
            stream.insert(stream.end(), &file[at + 8], &file[at + 8 + length]);
        at += 12 + length;
    }
    std::vector<std::uint8_t> rows(filteredBytes + 1);
    uLongf size = rows.size();
    const int result = uncompress(rows.data(), &size, stream.data(), stream.size());
    if (result != Z_OK || size != filteredBytes)
        return {{}, "zlib: result " + std::to_string(result) + ", " + std::to_string(size) + " bytes"};
    return {};
}

Decoded withSpng(const std::vector<std::uint8_t>& file) {
    const std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> context{spng_ctx_new(0), &spng_ctx_free};
    std::size_t size = 0;
    Decoded decoded;
    int error = spng_set_png_buffer(context.get(), file.data(), file.size());
    if (error == 0)
        error = spng_decoded_image_size(context.get(), SPNG_FMT_RGBA8, &size);
    decoded.rgba.resize(size);
    if (error == 0)
        error = spng_decode_image(context.get(), decoded.rgba.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
    if (error != 0)
        decoded.failure = std::string{"libspng: "} + spng_strerror(error);
    return decoded;
}

// Runs a decoding command that writes RGBA bytes to its standard output.
Decoded withCommand(const std::string& command) {
    Decoded decoded;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {{}, "cannot start " + command};
    std::uint8_t buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        decoded.rgba.insert(decoded.rgba.end(), buffer, buffer + got);
    if (::pclose(pipe) != 0)
        decoded.failure = "failed: " + command;
    return decoded;
}

struct WriterCase {
    const char* name;
    std::uint32_t colours; // distinct pixels; 0 for noise in every byte
    bool translucent;      // some pixels with alpha below 255
    std::uint8_t colourType;
    std::uint8_t bitDepth;
    std::size_t groupBytes; // small, so that even these images are cut into many groups
};

// Blocks of 3 x 3 pixels, as an enlargement makes, so that most rows repeat the one above; a few
// rows of single pixels between them. Colour c of `colours`, or noise.
std::vector<std::uint8_t> writerImage(const WriterCase& c, std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> rgba(std::size_t{width} * height * 4);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t cell = y % 10 == 9 ? y * width + x : (y / 3) * width + x / 3;
            const std::uint32_t hash = cell * 2654435761u ^ (cell >> 7) * 40503u;
            const std::uint32_t v = c.colours == 0 ? hash : (hash >> 8) % c.colours;
            const auto alpha = static_cast<std::uint8_t>(c.colours == 0   ? hash >> 24
                                                         : !c.translucent ? 255
                                                         : v % 3 == 0     ? 0
                                                         : v % 3 == 1     ? 128
                                                                          : 255);
            const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(v * 67),
                                           static_cast<std::uint8_t>(v >> 3),
                                           static_cast<std::uint8_t>(v >> 11 ^ v), alpha};
            std::memcpy(&rgba[(std::size_t{y} * width + x) * 4], pixel, 4);
        }
    return rgba;
}

// Every kind of PNG the writer makes, cut into many row groups on one thread and on two, decodes
// to exactly its pixels with libspng, Pillow and ImageMagick, and zlib's inflate finds the joined
// stream whole, its checksum combined from the groups' included. Noise is stored rather than
// compressed, and groups of one row are compressed with the fixed codes, so the groups' joins
// cover every kind of deflate block.
TEST(EncodePng, EveryKindDecodesToItsPixelsWithEveryDecoder) {
    const WriterCase cases[] = {
        {"palette of 1 bit", 2, false, 3, 1, 300},
        {"palette of 2 bits with transparency", 4, true, 3, 2, 300},
        {"palette of 4 bits", 16, false, 3, 4, 1},
        {"palette of 8 bits with transparency", 256, true, 3, 8, 2000},
        {"RGB", 5000, false, 2, 8, 4000},
        {"RGBA", 5000, true, 6, 8, 4000},
        {"RGBA of noise", 0, true, 6, 8, 4000},
        {"RGB in groups of one row", 5000, false, 2, 8, 1},
    };
    const std::uint32_t width = 61, height = 90; // a row of 1 bit does not fill its last byte
    std::string directory = (std::filesystem::path{testing::TempDir()} / "tessera-png-XXXXXX").string();
    ASSERT_NE(::mkdtemp(directory.data()), nullptr);
    for (const WriterCase& c : cases)
        for (int threads : {1, 2}) {
            const std::string name = std::string{c.name} + " on " + std::to_string(threads) + " threads";
            const std::vector<std::uint8_t> rgba = writerImage(c, width, height);
            const std::vector<std::uint8_t> file = std::get<std::vector<std::uint8_t>>(
                codecs::encodePng(rgba, width, height, threads, c.groupBytes));
            ASSERT_GT(file.size(), 33u) << name;
            EXPECT_EQ(file[24], c.bitDepth) << name;
            EXPECT_EQ(file[25], c.colourType) << name;
            const std::size_t rowBytes = (std::size_t{width} * c.bitDepth *
                                              (c.colourType == 6   ? 4
                                               : c.colourType == 2 ? 3
                                                                   : 1) +
                                          7) /
                                         8;
            const std::string path = directory + "/image.png";
            std::FILE* out = std::fopen(path.c_str(), "wb");
            ASSERT_NE(out, nullptr);
            ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), out), file.size());
            ASSERT_EQ(std::fclose(out), 0);
            const Decoded decoded[] = {
                withSpng(file),
                withCommand(std::string{TESSERA_PYTHON} +
                            " -c \"import sys; from PIL import Image; "
                            "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" " +
                            path),
                withCommand(std::string{TESSERA_IMAGEMAGICK} + " " + path + " -depth 8 RGBA:-"),
            };
            const Decoded inflated = withZlib(file, (rowBytes + 1) * height);
            EXPECT_EQ(inflated.failure, "") << name;
            for (const Decoded& result : decoded) {
                EXPECT_EQ(result.failure, "") << name;
                EXPECT_TRUE(result.rgba == rgba) << name << ": " << result.rgba.size() << " bytes decoded";
            }
        }
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

// The encoder in parts, as the page runs it on several workers: colours found for bands of rows,
// the layout chosen from them, each row group compressed on its own from its rows and the row
// above, and the file written around their blocks from their sums, give the whole-image
// encoder's bytes. Bands that each fit a palette but together do not, and a pixel with alpha in
// the last band only, decide as the whole.
TEST(EncodePngInParts, GivesTheWholeImagesBytes) {
    const WriterCase cases[] = {
        {"palette of 8 bits with transparency", 256, true, 3, 8, 2000},
        {"palette of 4 bits", 16, false, 3, 4, 300},
        {"300 colours, under 256 in each band", 300, false, 2, 8, 4000},
        {"RGBA", 5000, true, 6, 8, 4000},
        {"RGB but for one pixel in the last band", 5000, false, 6, 8, 4000},
    };
    const std::uint32_t width = 61, height = 90;
    const std::uint32_t bandEnds[] = {17, 50, 90};
    for (const WriterCase& c : cases) {
        std::vector<std::uint8_t> rgba = writerImage(c, width, height);
        if (c.colourType == 6 && !c.translucent)
            rgba.back() = 254;
        std::vector<codecs::PngColours> bands;
        std::uint32_t begin = 0;
        for (std::uint32_t end : bandEnds) {
            bands.push_back(
                codecs::findColours(std::span{rgba}.subspan(begin * width * 4, (end - begin) * width * 4)));
            begin = end;
        }
        const codecs::PngLayout layout = codecs::layoutOfColours(bands, width, height);
        EXPECT_EQ(layout.colourType, c.colourType) << c.name;
        const std::vector<codecs::RowRange> ranges = codecs::pngRowGroups(layout, c.groupBytes);
        std::vector<codecs::CompressedRows> groups;
        for (const codecs::RowRange& rows : ranges) {
            const std::span<const std::uint8_t> all{rgba};
            const std::size_t rowBytes = std::size_t{width} * 4;
            groups.push_back(std::get<codecs::CompressedRows>(codecs::compressRowGroup(
                layout, rows.begin > 0 ? all.subspan((rows.begin - 1) * rowBytes, rowBytes) : all.first(0),
                all.subspan(rows.begin * rowBytes, (rows.end - rows.begin) * rowBytes),
                &rows == &ranges.back())));
        }
        // Written around blocks held elsewhere, from the groups' sums alone.
        std::vector<codecs::RowGroupSums> sums;
        for (const codecs::CompressedRows& group : groups)
            sums.push_back(group.sums);
        const auto ends = std::get<codecs::PngEnds>(codecs::pngEnds(layout, sums));
        std::vector<std::uint8_t> joined = ends.head;
        for (const codecs::CompressedRows& group : groups)
            joined.insert(joined.end(), group.deflated.begin(), group.deflated.end());
        joined.insert(joined.end(), ends.tail.begin(), ends.tail.end());
        EXPECT_TRUE(joined == std::get<std::vector<std::uint8_t>>(
                                  codecs::encodePng(rgba, width, height, 1, c.groupBytes)))
            << c.name << ": " << ranges.size() << " groups";
    }
}

} // namespace

// The PNG writer's zlib stream of independently compressed row groups.
#include "image_decoder.h"
#include "png_writer.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>
#include <zlib.h>

namespace {

using namespace tessera;

TEST(Adler32Combine, GivesTheChecksumOfTheJoinedBytes) {
    std::vector<std::uint8_t> bytes(70000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 300);
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{5552}, std::size_t{69999}}) {
        const std::span<const std::uint8_t> all{bytes};
        const std::uint32_t joined = png::adler32Combine(png::adler32(all.first(cut)),
                                                         png::adler32(all.subspan(cut)), bytes.size() - cut);
        EXPECT_EQ(joined, png::adler32(all)) << cut;
        EXPECT_EQ(joined, ::adler32(1, bytes.data(), static_cast<uInt>(bytes.size()))) << cut;
    }
}

// An image of more rows than one group holds, in every colour type, on two threads: zlib's own
// inflate reads the joined stream (checksum included) to exactly the filtered rows, and the
// decoder gives the pixels back.
TEST(EncodeRgba, JoinsRowGroupsIntoOneValidStream) {
    const std::uint32_t width = 2000, height = 300; // RGBA: two groups on two threads
    for (int colours : {2, 200, 0}) {               // a palette of 1 bit, of 8 bits, RGBA
        std::vector<std::uint8_t> rgba(std::size_t{width} * height * 4);
        for (std::size_t i = 0; i < rgba.size() / 4; ++i) {
            const auto v = static_cast<std::uint32_t>(i * 2654435761u >> 7);
            const std::uint32_t c = colours == 0 ? v : v % static_cast<std::uint32_t>(colours);
            const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                                           static_cast<std::uint8_t>(c >> 16),
                                           static_cast<std::uint8_t>(colours == 0 ? c >> 24 : 255)};
            std::memcpy(&rgba[4 * i], pixel, 4);
        }
        const std::vector<std::uint8_t> file =
            png::encodeRgba(rgba, width, height, {.level = 1, .threads = 2});
        ASSERT_GT(file.size(), 33u);
        // IDAT follows IHDR (and PLTE, tRNS); walk to it.
        std::size_t at = 8;
        std::vector<std::uint8_t> stream;
        while (at + 8 <= file.size()) {
            const std::size_t length = std::size_t{file[at]} << 24 | std::size_t{file[at + 1]} << 16 |
                                       std::size_t{file[at + 2]} << 8 | file[at + 3];
            if (std::memcmp(&file[at + 4], "IDAT", 4) == 0)
                stream.insert(stream.end(), &file[at + 8], &file[at + 8 + length]);
            at += 12 + length;
        }
        const std::size_t rowBytes = colours == 2 ? (width + 7) / 8 : colours == 200 ? width : width * 4;
        std::vector<std::uint8_t> rows((rowBytes + 1) * height + 1);
        uLongf size = rows.size();
        EXPECT_EQ(uncompress(rows.data(), &size, stream.data(), stream.size()), Z_OK) << colours;
        EXPECT_EQ(size, (rowBytes + 1) * height) << colours;
        const tool::Result<tool::DecodedImage> decoded =
            tool::decodeImage({reinterpret_cast<const char*>(file.data()), file.size()});
        const auto* image = std::get_if<tool::DecodedImage>(&decoded);
        ASSERT_NE(image, nullptr) << colours;
        EXPECT_EQ(std::memcmp(image->rgba.get(), rgba.data(), rgba.size()), 0) << colours;
    }
}

} // namespace

// The bulk conversions between RGBA bytes and words: byte for byte what converting each pixel
// on its own gives, for counts around the block they work in, into other storage and in place.
#include <algorithm>
#include <gtest/gtest.h>
#include <tessera/scaler.h>
#include <vector>

namespace {

// Bytes that are all different within each pixel and vary from pixel to pixel.
std::vector<std::uint8_t> sampleBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count * 4);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37 + i / 4 * 11 + 5);
    return bytes;
}

// One pixel's word from its bytes, and its bytes from its word, written out channel by channel.
Pixel wordOf(const std::uint8_t* rgba, bool opaque) {
    return Pixel{opaque ? std::uint8_t{255} : rgba[3]} << 24 | Pixel{rgba[0]} << 16 | Pixel{rgba[1]} << 8 |
           Pixel{rgba[2]};
}

void bytesOf(Pixel word, bool opaque, std::uint8_t* rgba) {
    rgba[0] = static_cast<std::uint8_t>(word >> 16);
    rgba[1] = static_cast<std::uint8_t>(word >> 8);
    rgba[2] = static_cast<std::uint8_t>(word);
    rgba[3] = opaque ? 255 : static_cast<std::uint8_t>(word >> 24);
}

TEST(PixelWords, BulkConversionsMatchEachPixelConverted) {
    for (const std::size_t count : {0, 1, 15, 16, 17, 40}) {
        for (const bool opaque : {false, true}) {
            SCOPED_TRACE(testing::Message() << count << " pixels, " << (opaque ? "opaque" : "straight"));
            const std::vector<std::uint8_t> rgba = sampleBytes(count);
            std::vector<Pixel> expectedWords(count);
            for (std::size_t i = 0; i < count; ++i)
                expectedWords[i] = wordOf(&rgba[i * 4], opaque);
            const auto toWords = opaque ? rgbaToOpaquePixels : rgbaToPixels;
            const auto toBytes = opaque ? pixelsToOpaqueRgba : pixelsToRgba;

            std::vector<Pixel> words(count);
            toWords(rgba.data(), count, words.data());
            EXPECT_EQ(words, expectedWords) << "bytes to words";
            std::vector<Pixel> inPlace(count);
            std::copy(rgba.begin(), rgba.end(), reinterpret_cast<std::uint8_t*>(inPlace.data()));
            toWords(reinterpret_cast<const std::uint8_t*>(inPlace.data()), count, inPlace.data());
            EXPECT_EQ(inPlace, expectedWords) << "bytes to words in place";

            // Words whose alpha varies, so that the opaque direction must set it.
            const std::vector<Pixel> source = [&] {
                std::vector<Pixel> varied(count);
                for (std::size_t i = 0; i < count; ++i)
                    varied[i] = wordOf(&rgba[i * 4], false);
                return varied;
            }();
            std::vector<std::uint8_t> expectedBytes(count * 4);
            for (std::size_t i = 0; i < count; ++i)
                bytesOf(source[i], opaque, &expectedBytes[i * 4]);
            std::vector<std::uint8_t> bytes(count * 4);
            toBytes(source.data(), count, bytes.data());
            EXPECT_EQ(bytes, expectedBytes) << "words to bytes";
            std::vector<Pixel> sameStorage = source;
            toBytes(sameStorage.data(), count, reinterpret_cast<std::uint8_t*>(sameStorage.data()));
            EXPECT_TRUE(std::equal(expectedBytes.begin(), expectedBytes.end(),
                                   reinterpret_cast<const std::uint8_t*>(sameStorage.data())))
                << "words to bytes in place";
        }
    }
}

} // namespace

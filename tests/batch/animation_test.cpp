// The animation readers' compositing and refusals, and the writers' rectangles and round trips.
// Pillow checks the command's outputs independently (tests/python/test_animation.py).
#include "animation_writer.h"
#include "crafted_images.h"
#include "image_file.h"
#include "limits_and_defaults.h"
#include "png_chunks.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace tessera;
using namespace tessera::codecs;
using namespace tessera::test;
using Rgba = std::array<std::uint8_t, 4>;

constexpr Rgba blue{0, 0, 255, 255}, red{255, 0, 0, 255}, green{0, 255, 0, 255}, clear{0, 0, 0, 0};

// A frame of one colour over its rectangle.
struct CraftedFrame {
    std::uint32_t x = 0, y = 0, width = 4, height = 4;
    Rgba colour = blue;
    std::uint8_t disposal = 0; // none, background, previous
    std::uint8_t blend = 0;    // source, over
};

struct Chunk {
    std::string type;
    std::string data;
};

std::string word(std::uint32_t value) {
    std::string bytes;
    appendBigEndian(bytes, value, 4);
    return bytes;
}

std::string rowsOf(std::uint32_t width, std::uint32_t height, Rgba colour) {
    std::string rows;
    for (std::uint32_t y = 0; y < height; ++y) {
        rows += '\0';
        for (std::uint32_t x = 0; x < width; ++x)
            rows.append(reinterpret_cast<const char*>(colour.data()), 4);
    }
    return rows;
}

// The chunks of an RGBA animated PNG of a 4 x 4 canvas (unless `size` says otherwise) playing
// twice, each frame shown 7/100 s. Unless `stillIsFrame`, the still image is a grey canvas
// outside the animation.
std::vector<Chunk> animatedPng(const std::vector<CraftedFrame>& frames, bool stillIsFrame = true,
                               std::uint32_t size = 4) {
    std::vector<Chunk> chunks{{"IHDR", word(size) + word(size) + std::string{8, 6, 0, 0, 0}},
                              {"acTL", word(static_cast<std::uint32_t>(frames.size())) + word(2)}};
    if (!stillIsFrame)
        chunks.push_back({"IDAT", storedZlib(rowsOf(size, size, {9, 9, 9, 255}))});
    std::uint32_t sequence = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const CraftedFrame& frame = frames[i];
        chunks.push_back(
            {"fcTL", word(sequence++) + word(frame.width) + word(frame.height) + word(frame.x) +
                         word(frame.y) + std::string{0, 7, 0, 0} +
                         std::string{static_cast<char>(frame.disposal), static_cast<char>(frame.blend)}});
        const std::string data = storedZlib(rowsOf(frame.width, frame.height, frame.colour));
        if (i == 0 && stillIsFrame)
            chunks.push_back({"IDAT", data});
        else
            chunks.push_back({"fdAT", word(sequence++) + data});
    }
    chunks.push_back({"IEND", ""});
    return chunks;
}

std::string fileOf(const std::vector<Chunk>& chunks) {
    std::string bytes{reinterpret_cast<const char*>(pngSignature), sizeof pngSignature};
    for (const Chunk& chunk : chunks)
        bytes += pngChunk(chunk.type.c_str(), chunk.data);
    return bytes;
}

// The file's animation, or why it was refused; nothing when it is a still image.
std::optional<Result<Animation>> decode(std::span<const char> file) {
    Result<DecodedFile> decoded = decodeImageFile(file, withinPixels(UINT64_MAX));
    if (const Failure* failure = std::get_if<Failure>(&decoded))
        return *failure;
    if (auto* animation = std::get_if<Animation>(&std::get<DecodedFile>(decoded)))
        return std::move(*animation);
    return std::nullopt;
}

Rgba pixelAt(const Animation& animation, std::size_t frame, std::uint32_t x, std::uint32_t y) {
    Rgba pixel;
    std::copy_n(&animation.frames[frame].rgba[(std::size_t{y} * animation.width + x) * 4], 4, pixel.begin());
    return pixel;
}

struct Expected {
    std::size_t frame;
    std::uint32_t x, y;
    Rgba pixel;
};

struct CompositingCase {
    const char* name;
    std::vector<CraftedFrame> frames;
    bool stillIsFrame;
    std::vector<Expected> expected;
};

TEST(AnimatedPngReading, ComposesEveryFrameOntoTheCanvasAsABrowserShowsIt) {
    const CompositingCase cases[] = {
        // Half-transparent red over opaque blue: (255 * 128 + 0 * 127) / 255 red, 127 of the blue.
        {"blend over a translucent sub-rectangle",
         {{}, {1, 1, 2, 2, {255, 0, 0, 128}, 0, 1}},
         true,
         {{1, 1, 1, {128, 0, 127, 255}}, {1, 2, 2, {128, 0, 127, 255}}, {1, 0, 0, blue}, {1, 3, 3, blue}}},
        {"blend over with a transparent pixel keeps the canvas",
         {{}, {1, 1, 2, 2, {9, 9, 9, 0}, 0, 1}},
         true,
         {{1, 1, 1, blue}}},
        {"blend source replaces the canvas, transparency included",
         {{}, {1, 1, 2, 2, {9, 9, 9, 0}, 0, 0}},
         true,
         {{1, 1, 1, {9, 9, 9, 0}}, {1, 0, 0, blue}}},
        {"dispose to background clears the frame's rectangle",
         {{0, 0, 4, 4, blue, 1}, {1, 1, 1, 1, red, 0, 1}},
         true,
         {{0, 0, 0, blue}, {1, 0, 0, clear}, {1, 1, 1, red}}},
        {"dispose to previous restores the canvas under the frame",
         {{}, {1, 1, 2, 2, red, 2}, {3, 3, 1, 1, green}},
         true,
         {{1, 1, 1, red}, {2, 1, 1, blue}, {2, 2, 2, blue}, {2, 3, 3, green}}},
        {"a still image outside the animation is not shown",
         {{0, 0, 4, 4, green}, {0, 0, 1, 1, red, 0, 1}},
         false,
         {{0, 3, 3, green}, {1, 0, 0, red}, {1, 1, 1, green}}},
    };
    for (const CompositingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = decode(fileOf(animatedPng(c.frames, c.stillIsFrame)));
        ASSERT_TRUE(decoded.has_value());
        const Animation* animation = std::get_if<Animation>(&*decoded);
        ASSERT_NE(animation, nullptr) << std::get<Failure>(*decoded).reason;
        ASSERT_EQ(animation->frames.size(), c.frames.size());
        EXPECT_EQ(animation->plays, 2u);
        // A denominator of 0 means hundredths of a second.
        EXPECT_EQ(animation->frames.back().delayNumerator, 7u);
        EXPECT_EQ(animation->frames.back().delayDenominator, 100u);
        for (const Expected& e : c.expected)
            EXPECT_EQ(pixelAt(*animation, e.frame, e.x, e.y), e.pixel)
                << "frame " << e.frame << " at " << e.x << ", " << e.y;
    }
}

TEST(AnimatedPngReading, APngWithoutAnAnimationOfItsOwnIsAStill) {
    const std::vector<CraftedFrame> one{{}};
    EXPECT_FALSE(decode(pngImage(4, 4, 8, 6, rowsOf(4, 4, red))).has_value());
    EXPECT_FALSE(decode(fileOf(animatedPng(one))).has_value());
    // One frame beside the still image is an animation of one frame: that frame, as a still.
    EXPECT_FALSE(decode(fileOf(animatedPng(one, false))).has_value());
}

struct GifCase {
    const char* name;
    std::vector<GifFrame> frames;
    std::vector<Expected> expected;
};

TEST(AnimatedGifReading, ComposesEveryFrameOntoTheCanvasAsABrowserShowsIt) {
    const GifCase cases[] = {
        {"the transparent index keeps the canvas",
         {{}, {1, 1, 2, 2, 0, 1, 0}},
         {{1, 1, 1, blue}, {1, 2, 2, blue}}},
        {"clearing to the background leaves transparent black",
         {{0, 0, 4, 4, 1, 2}, {3, 3, 1, 1, 2}},
         {{0, 0, 0, blue}, {1, 0, 0, clear}, {1, 3, 3, red}}},
        {"restoring the previous canvas undoes the frame",
         {{}, {1, 1, 2, 2, 2, 3}, {3, 3, 1, 1, 3}},
         {{1, 1, 1, red}, {2, 1, 1, blue}, {2, 2, 2, blue}, {2, 3, 3, green}}},
        {"a frame past the screen's edge is cut at it",
         {{}, {3, 3, 2, 2, 2}},
         {{1, 3, 3, red}, {1, 2, 2, blue}}},
    };
    for (const GifCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = decode(gifOf(c.frames));
        ASSERT_TRUE(decoded.has_value());
        const Animation* animation = std::get_if<Animation>(&*decoded);
        ASSERT_NE(animation, nullptr) << std::get<Failure>(*decoded).reason;
        ASSERT_EQ(animation->frames.size(), c.frames.size());
        EXPECT_EQ(animation->plays, 1u); // without a loop extension
        EXPECT_EQ(animation->frames.back().delayNumerator, 7u);
        for (const Expected& e : c.expected)
            EXPECT_EQ(pixelAt(*animation, e.frame, e.x, e.y), e.pixel)
                << "frame " << e.frame << " at " << e.x << ", " << e.y;
    }
}

// A cut anywhere inside a frame refuses the whole file; only a file missing no more than its end
// marker is read in full.
TEST(AnimatedGifReading, RefusesAFileCutInsideAnyFrame) {
    const std::vector<GifFrame> frames{{}, {1, 1, 2, 2, 2}, {0, 0, 4, 4, 3}};
    const std::string whole = gifOf(frames);
    const std::size_t firstEnd = gifOf({frames[0]}).size() - 1; // without the end marker
    const std::size_t secondEnd = gifOf({frames[0], frames[1]}).size() - 1;
    constexpr std::size_t graphicControl = 8;
    const struct {
        const char* name;
        std::size_t length;
        std::size_t frames; // 0: refused as damaged
    } cases[] = {
        {"inside the first frame's data", firstEnd - 3, 0},
        {"after the second frame's graphic control", firstEnd + graphicControl, 0},
        {"inside the second frame's descriptor", firstEnd + graphicControl + 4, 0},
        {"inside the second frame's data", secondEnd - 3, 0},
        {"inside the third frame's data", whole.size() - 4, 0},
        {"before the end marker alone", whole.size() - 1, 3},
        {"nowhere", whole.size(), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = decode(std::string_view{whole}.substr(0, c.length));
        ASSERT_TRUE(decoded.has_value()) << "read as a still image";
        if (c.frames == 0) {
            const Failure* failure = std::get_if<Failure>(&*decoded);
            ASSERT_NE(failure, nullptr);
            EXPECT_EQ(failure->step, Step::Read) << failure->reason;
        } else {
            const Animation* animation = std::get_if<Animation>(&*decoded);
            ASSERT_NE(animation, nullptr);
            EXPECT_EQ(animation->frames.size(), c.frames);
        }
    }
}

struct RefusalCase {
    const char* name;
    void (*damage)(std::vector<Chunk>&);
    Step step;
};

TEST(AnimatedPngReading, RefusesDamagedAndOversizedAnimationsWhole) {
    const RefusalCase cases[] = {
        {"a sequence number repeated", [](std::vector<Chunk>& c) { c[4].data.replace(0, 4, word(0)); },
         Step::Read},
        {"a frame beyond the canvas", [](std::vector<Chunk>& c) { c[4].data.replace(12, 4, word(3)); },
         Step::Read},
        {"an unknown dispose operation", [](std::vector<Chunk>& c) { c[4].data[24] = 3; }, Step::Read},
        {"fewer frames than announced", [](std::vector<Chunk>& c) { c[1].data.replace(0, 4, word(3)); },
         Step::Read},
        {"a frame whose data does not inflate", [](std::vector<Chunk>& c) { c[5].data.resize(10); },
         Step::Read},
        {"truncated before its end", [](std::vector<Chunk>& c) { c.pop_back(); }, Step::Read},
        {"more frames than the limit",
         [](std::vector<Chunk>& c) {
             c[1].data.replace(0, 4, word(tessera::pixels::maxAnimationFrames + 1));
         },
         Step::Enlarge},
        // 2^12 x 2^12 pixels, 3 frames: more than 2^25 decoded pixels, refused before decoding.
        {"more decoded pixels than the limit",
         [](std::vector<Chunk>& c) {
             c[0].data.replace(0, 8, word(4096) + word(4096));
             c[1].data.replace(0, 4, word(3));
         },
         Step::Enlarge},
        // 2^31 x 2^31 pixels, 4 frames: 2^64 decoded pixels, which a 64-bit product wraps to 0.
        {"a canvas whose pixels times its frames pass 64 bits",
         [](std::vector<Chunk>& c) {
             c[0].data.replace(0, 8, word(0x80000000) + word(0x80000000));
             c[1].data.replace(0, 4, word(4));
         },
         Step::Enlarge},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Chunk> chunks = animatedPng({{}, {1, 1, 2, 2, red}});
        c.damage(chunks);
        const auto decoded = decode(fileOf(chunks));
        ASSERT_TRUE(decoded.has_value());
        const Failure* failure = std::get_if<Failure>(&*decoded);
        ASSERT_NE(failure, nullptr);
        EXPECT_EQ(failure->step, c.step) << failure->reason;
    }
}

// The file the writer makes of the animation's frames, or nothing when it fails.
std::vector<std::uint8_t> written(const Animation& animation, OutputFormat format, bool opaque) {
    Result<AnimationWriter> started =
        startAnimation(format,
                       {animation.width, animation.height,
                        static_cast<std::uint32_t>(animation.frames.size()), animation.plays},
                       opaque);
    AnimationWriter* writer = std::get_if<AnimationWriter>(&started);
    if (writer == nullptr)
        return {};
    for (AnimationFrame frame : animation.frames)
        if (std::holds_alternative<Failure>(addFrame(*writer, std::move(frame))))
            return {};
    Result<std::vector<std::uint8_t>> finished = finishAnimation(*writer);
    if (std::holds_alternative<Failure>(finished))
        return {};
    return std::get<std::vector<std::uint8_t>>(finished);
}

// Frames of 6 x 5: blue, then two pixels changed, then the same again.
TEST(AnimatedPngWriting, StoresEachLaterFrameAsTheRectangleThatChanged) {
    Animation animation{6, 5, 0, {}};
    std::vector<std::uint8_t> canvas(6 * 5 * 4);
    for (std::size_t i = 0; i < canvas.size(); i += 4)
        std::copy(blue.begin(), blue.end(), &canvas[i]);
    animation.frames.push_back({canvas, 1, 10});
    std::copy(red.begin(), red.end(), &canvas[(1 * 6 + 2) * 4]);
    std::copy(green.begin(), green.end(), &canvas[(3 * 6 + 4) * 4]);
    animation.frames.push_back({canvas, 2, 10});
    animation.frames.push_back({canvas, 3, 10});

    const std::vector<std::uint8_t> file = written(animation, OutputFormat::Png, true);

    // Width, height, x and y of each frame control, and every sequence number in order.
    std::vector<std::array<std::uint32_t, 4>> rectangles;
    std::uint32_t sequence = 0;
    PngChunkReader reader{file};
    while (const std::optional<PngChunk> chunk = nextChunk(reader)) {
        if (chunk->type == "fcTL")
            rectangles.push_back({wordAt(chunk->data, 4), wordAt(chunk->data, 8), wordAt(chunk->data, 12),
                                  wordAt(chunk->data, 16)});
        if (chunk->type == "fcTL" || chunk->type == "fdAT") {
            EXPECT_EQ(wordAt(chunk->data, 0), sequence++) << chunk->type;
        }
    }
    EXPECT_EQ(reader.at, file.size());
    const std::vector<std::array<std::uint32_t, 4>> expected{{6, 5, 0, 0}, {3, 3, 2, 1}, {1, 1, 0, 0}};
    EXPECT_EQ(rectangles, expected);

    // Read back, the frames are whole again.
    const auto decoded = decode({reinterpret_cast<const char*>(file.data()), file.size()});
    ASSERT_TRUE(decoded.has_value());
    const Animation& back = std::get<Animation>(*decoded);
    ASSERT_EQ(back.frames.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.frames[i].rgba, animation.frames[i].rgba) << "frame " << i;
        EXPECT_EQ(back.frames[i].delayNumerator, i + 1);
    }
}

// Three different frames, one pixel translucent, the colour under a transparent one kept: the
// WebP written is lossless, and its delays are in milliseconds.
TEST(AnimatedWebpWriting, KeepsEveryFrameExactlyWithItsDelay) {
    Animation animation{3, 2, 4, {}};
    std::vector<std::uint8_t> canvas(3 * 2 * 4, 200);
    canvas[3] = 0;
    canvas[7] = 100;
    for (std::uint32_t i = 0; i < 3; ++i) {
        canvas[8 + 4 * i] = static_cast<std::uint8_t>(40 * i);
        animation.frames.push_back({canvas, 10 * (i + 1), 1000});
    }
    const std::vector<std::uint8_t> file = written(animation, OutputFormat::Webp, false);

    const auto decoded = decode({reinterpret_cast<const char*>(file.data()), file.size()});
    ASSERT_TRUE(decoded.has_value());
    const Animation& back = std::get<Animation>(*decoded);
    EXPECT_EQ(back.plays, 4u);
    ASSERT_EQ(back.frames.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.frames[i].rgba, animation.frames[i].rgba) << "frame " << i;
        EXPECT_EQ(back.frames[i].delayNumerator, 10 * (i + 1));
        EXPECT_EQ(back.frames[i].delayDenominator, 1000u);
    }
}

} // namespace

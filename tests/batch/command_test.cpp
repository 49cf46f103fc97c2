// tessera-scale as a user meets it: the real binary run on real files in a scratch directory,
// checked by exit status, stderr, the files left behind and the pixels written.
#include "crafted_images.h"
#include "image_file.h"
#include "limits_and_defaults.h"
#include "pixel_conversion.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <pty.h>
#include <set>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <tessera/scaler.h>
#include <unistd.h>
#include <vector>

// Test inputs are written with stb_image_write, compiled here alone.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using tessera::pixels::compositeChannel;

const fs::path dataDirectory{TESSERA_TEST_DATA};
const fs::path regressionDirectory = fs::path{TESSERA_FUZZ_REGRESSIONS} / "image_load";

// Ample for refusing any input, far short of decoding any image the failure cases declare.
constexpr rlim_t memoryLimit = rlim_t{128} << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool addressSanitizer = true;
#elif defined(__has_feature)
constexpr bool addressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool addressSanitizer = false;
#endif
constexpr const char* opaqueSprite = "cdda_uc_door_closed_32.png";
constexpr const char* translucentSprite = "cdda_uc_fire_32.png";

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
    long peakResidentKiB = 0; // the most memory the command held at once
};

std::string readText(const fs::path& path) {
    std::ifstream file{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{file}, std::istreambuf_iterator<char>{}};
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream file{path, std::ios::binary};
    file << bytes;
}

std::size_t countLines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct Rgba {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<std::uint8_t> bytes;

    friend bool operator==(const Rgba&, const Rgba&) = default;
};

Rgba loadRgba(const fs::path& path) {
    const std::string file = readText(path);
    // An animation's first frame, as a viewer without animation shows it.
    const tessera::Result<tessera::codecs::DecodedImage> decoded =
        tessera::codecs::decodeFirstFrame(file, tessera::codecs::withinPixels(UINT64_MAX));
    const auto* image = std::get_if<tessera::codecs::DecodedImage>(&decoded);
    if (image == nullptr)
        return {};
    return {image->width, image->height, image->rgba};
}

bool keepsAlpha(const Rgba& image) {
    return tessera::pixels::hasTranslucentPixel(image.bytes);
}

// What the editor shows and saves for a canvas of these pixels: the canvas holds 0xFFRRGGBB
// (translucent pixels mixed over the background), the target is copied out with alpha 255.
Rgba editorEnlargement(const Rgba& input, int factor, std::uint8_t bgRed = 0, std::uint8_t bgGreen = 0,
                       std::uint8_t bgBlue = 0) {
    std::vector<Pixel> canvas;
    for (std::size_t i = 0; i < input.bytes.size(); i += 4) {
        const std::uint8_t alpha = input.bytes[i + 3];
        canvas.push_back(opaquePixel(compositeChannel(input.bytes[i], alpha, bgRed),
                                     compositeChannel(input.bytes[i + 1], alpha, bgGreen),
                                     compositeChannel(input.bytes[i + 2], alpha, bgBlue)));
    }
    const auto f = static_cast<unsigned>(factor);
    std::vector<Pixel> target(canvas.size() * f * f);
    upscale(factor, canvas.data(), target.data(), static_cast<std::int32_t>(input.width),
            static_cast<std::int32_t>(input.height), ScaleSettings{}, INT32_MAX);
    Rgba output{input.width * f, input.height * f, {}};
    for (Pixel word : target) {
        const std::array<std::uint8_t, 4> bytes = opaqueRgba(word);
        output.bytes.insert(output.bytes.end(), bytes.begin(), bytes.end());
    }
    return output;
}

// The alpha-aware enlargement of the pixels as they are, straight RGBA in and out, with the
// options' edges and cells.
Rgba alphaEnlargement(const Rgba& input, int factor, ScaleOptions options = {}) {
    const std::size_t count = input.bytes.size() / 4;
    std::vector<Pixel> source(count);
    rgbaToPixels(input.bytes.data(), count, source.data());
    const auto f = static_cast<unsigned>(factor);
    std::vector<Pixel> target(count * f * f);
    options.colours = ColourMode::WithAlpha;
    upscaleWithOptions(factor, source.data(), target.data(), static_cast<std::int32_t>(input.width),
                       static_cast<std::int32_t>(input.height), ScaleSettings{}, options);
    Rgba output{input.width * f, input.height * f, std::vector<std::uint8_t>(target.size() * 4)};
    pixelsToRgba(target.data(), target.size(), output.bytes.data());
    return output;
}

// What the command writes without --background: transparency kept where there is any.
Rgba expectedEnlargement(const Rgba& input, int factor) {
    return keepsAlpha(input) ? alphaEnlargement(input, factor) : editorEnlargement(input, factor);
}

// Writes the pixels in the format of the name's extension (PNG, BMP, TGA or JPEG), with 4
// channels as RGBA, 3 as RGB, or 2 as grey (the red byte) and alpha.
bool writeImage(const fs::path& path, const Rgba& image, int channels = 4) {
    std::vector<std::uint8_t> pixels;
    for (std::size_t i = 0; i < image.bytes.size(); i += 4) {
        const std::uint8_t* pixel = &image.bytes[i];
        if (channels == 2)
            pixels.insert(pixels.end(), {pixel[0], pixel[3]});
        else
            pixels.insert(pixels.end(), pixel, pixel + channels);
    }
    const auto width = static_cast<int>(image.width);
    const auto height = static_cast<int>(image.height);
    const std::string name = path.string();
    const std::string extension = path.extension().string();
    if (extension == ".png")
        return stbi_write_png(name.c_str(), width, height, channels, pixels.data(), width * channels) != 0;
    if (extension == ".bmp")
        return stbi_write_bmp(name.c_str(), width, height, channels, pixels.data()) != 0;
    if (extension == ".tga")
        return stbi_write_tga(name.c_str(), width, height, channels, pixels.data()) != 0;
    return stbi_write_jpg(name.c_str(), width, height, channels, pixels.data(), 90) != 0;
}

class ScaleCommand : public testing::Test {
protected:
    fs::path root;
    fs::path work;

    void SetUp() override {
        std::string pattern = (fs::path{testing::TempDir()} / "tessera-scale-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        work = root / "work";
        fs::create_directory(work);
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    void copyData(const char* name, const fs::path& to) const {
        fs::copy_file(dataDirectory / name, work / to);
    }

    // Starts the command in the work directory, its stdout and stderr into files, or into the
    // descriptors given. With `limitMemory`, it runs with at most memoryLimit of data (of single
    // allocations under AddressSanitizer, whose shadow memory a data limit would refuse). It
    // never dumps core: a core file would be left in the work directory.
    pid_t start(const std::vector<std::string>& args, bool limitMemory = false, int outFd = -1,
                int errFd = -1) const {
        const std::string outPath = (root / "stdout").string();
        const std::string errPath = (root / "stderr").string();
        std::vector<std::string> storage{TESSERA_SCALE_PATH};
        storage.insert(storage.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : storage)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment;
        for (char** variable = environ; *variable != nullptr; ++variable)
            if (!limitMemory || !addressSanitizer ||
                !std::string_view{*variable}.starts_with("ASAN_OPTIONS="))
                environment.emplace_back(*variable);
        if (limitMemory && addressSanitizer) {
            const char* options = std::getenv("ASAN_OPTIONS");
            environment.push_back(
                std::string{"ASAN_OPTIONS="} + (options != nullptr ? options : "") +
                ":allocator_may_return_null=1:max_allocation_size_mb=" + std::to_string(memoryLimit >> 20));
        }
        std::vector<char*> envp;
        for (std::string& variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);

        const pid_t pid = ::fork();
        if (pid == 0) {
            // Only async-signal-safe calls between fork and exec.
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = outFd >= 0 ? outFd : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = errFd >= 0 ? errFd : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const rlimit noCore{0, 0};
            if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
                ::dup2(err, 2) < 0 || ::chdir(work.c_str()) != 0 || ::setrlimit(RLIMIT_CORE, &noCore) != 0)
                ::_exit(127);
            const rlimit data{memoryLimit, memoryLimit};
            if (limitMemory && !addressSanitizer && ::setrlimit(RLIMIT_DATA, &data) != 0)
                ::_exit(127);
            ::execve(TESSERA_SCALE_PATH, argv.data(), envp.data());
            ::_exit(127);
        }
        return pid;
    }

    // Waits for a command that start() started and collects what it left.
    RunResult finish(pid_t pid) const {
        RunResult result;
        if (pid < 0)
            return result;
        int status = 0;
        rusage usage{};
        while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        result.peakResidentKiB = usage.ru_maxrss;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = readText(root / "stdout");
        result.err = readText(root / "stderr");
        return result;
    }

    RunResult run(const std::vector<std::string>& args, bool limitMemory = false) const {
        return finish(start(args, limitMemory));
    }

    // Every file under the work directory, relative to it, so that stray temporary files show.
    std::set<std::string> filesLeft() const {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(work))
            names.insert(entry.path().lexically_relative(work).string());
        return names;
    }
};

TEST_F(ScaleCommand, DefaultOutputBesideTheInputIsTheEditorsEnlargement) {
    copyData(opaqueSprite, "door.png");
    const RunResult result = run({"door.png"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, ""); // opaque input, stderr not a terminal: nothing to say
    EXPECT_EQ(filesLeft(), (std::set<std::string>{"door.png", "door@4x.png"}));
    const Rgba output = loadRgba(work / "door@4x.png");
    EXPECT_EQ(output.width, 128u);
    EXPECT_TRUE(output == editorEnlargement(loadRgba(work / "door.png"), 4));

    // A new image file gets the usual permissions, not those of a private temporary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const auto permissions = fs::status(work / "door@4x.png").permissions();
    EXPECT_EQ(static_cast<mode_t>(permissions), static_cast<mode_t>(0666 & ~mask));
}

TEST_F(ScaleCommand, EveryFactorIntoANamedFile) {
    copyData("cdda_mshock_streetlight_64x80.png", "light.png");
    const Rgba input = loadRgba(work / "light.png");
    for (int factor = 2; factor <= 5; ++factor) {
        const std::string name = "big" + std::to_string(factor) + ".png";
        const RunResult result = run({"-q", "-f", std::to_string(factor), "-o", name, "light.png"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(loadRgba(work / name) == expectedEnlargement(input, factor)) << "factor " << factor;
    }
}

TEST_F(ScaleCommand, WrapAndGridGiveTheLibrarysWords) {
    // Stripes up to every border, some of them half transparent, so that wrapped edges and
    // cells change the enlargement.
    Rgba input{20, 14, {}};
    for (std::uint32_t y = 0; y < input.height; ++y)
        for (std::uint32_t x = 0; x < input.width; ++x) {
            const auto shade = static_cast<std::uint8_t>((x * 7 + y * 13) % 5 * 60);
            input.bytes.insert(input.bytes.end(), {shade, static_cast<std::uint8_t>(255 - shade), 40,
                                                   static_cast<std::uint8_t>(x % 3 == 0 ? 128 : 255)});
        }
    ASSERT_TRUE(writeImage(work / "tile.png", input));
    const struct {
        std::vector<std::string> args;
        ScaleOptions options;
    } cases[] = {
        {{"--wrap"}, {ColourMode::WithAlpha, EdgeMode::Wrap, 0, 0}},
        {{"--grid", "16x8"}, {ColourMode::WithAlpha, EdgeMode::Clamp, 16, 8}},
        {{"--grid=12", "--wrap"}, {ColourMode::WithAlpha, EdgeMode::Wrap, 12, 12}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-q", "-f", "3", "-o", "out.png", "tile.png"});
        const RunResult result = run(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(loadRgba(work / "out.png") == alphaEnlargement(input, 3, c.options)) << c.args[0];
    }
}

TEST_F(ScaleCommand, OneInputIntoAnExistingDirectory) {
    copyData(opaqueSprite, "door.png");
    fs::create_directory(work / "out");
    const RunResult result = run({"-f", "2", "-o", "out", "door.png"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(loadRgba(work / "out/door@2x.png") == editorEnlargement(loadRgba(work / "door.png"), 2));
}

TEST_F(ScaleCommand, TransparencyIsFlattenedOntoTheBackgroundAndSaidOnce) {
    Rgba glass{4, 3, {}};
    for (int i = 0; i < 12; ++i)
        glass.bytes.insert(glass.bytes.end(), {200, 100, 0, 128});
    const auto setPixel = [&](unsigned x, unsigned y, std::array<std::uint8_t, 4> rgba) {
        std::copy(rgba.begin(), rgba.end(), glass.bytes.begin() + 4 * (y * 4 + x));
    };
    setPixel(0, 0, {10, 20, 30, 255});
    setPixel(1, 0, {255, 255, 255, 0});
    setPixel(2, 1, {1, 254, 77, 1});
    setPixel(3, 2, {90, 91, 92, 254});
    ASSERT_TRUE(writeImage(work / "glass.png", glass));

    const RunResult result = run({"--background", "#204080", "-f", "3", "glass.png"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(countLines(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find("'glass.png'"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("transparency flattened"), std::string::npos) << result.err;
    const Rgba output = loadRgba(work / "glass@3x.png");
    EXPECT_TRUE(output == editorEnlargement(loadRgba(work / "glass.png"), 3, 0x20, 0x40, 0x80));
    // The fully transparent pixel's block is the background, opaque.
    EXPECT_EQ(std::vector<std::uint8_t>(output.bytes.begin() + 3 * 4, output.bytes.begin() + 4 * 4),
              (std::vector<std::uint8_t>{0x20, 0x40, 0x80, 255}));

    const RunResult quiet =
        run({"--quiet", "--background=204080", "-f", "3", "-o", "quiet.png", "glass.png"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(readText(work / "quiet.png"), readText(work / "glass@3x.png"));
}

TEST_F(ScaleCommand, TransparencyIsKeptWithoutANote) {
    copyData(translucentSprite, "fire.png");
    const RunResult result = run({"-f", "2", "fire.png"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const Rgba output = loadRgba(work / "fire@2x.png");
    EXPECT_TRUE(output == alphaEnlargement(loadRgba(work / "fire.png"), 2));
    // Where the enlargement is transparent, it is transparent black: no colour of a hidden pixel
    // is left for another program to show.
    for (std::size_t i = 0; i < output.bytes.size(); i += 4) {
        if (output.bytes[i + 3] == 0) {
            ASSERT_EQ(output.bytes[i] | output.bytes[i + 1] | output.bytes[i + 2], 0) << "pixel " << i / 4;
        }
    }
}

// A 3 x 2 GIF: red, blue, red over white, red, green.
const unsigned char tinyGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x03, 0x00, 0x02, 0x00, 0xf1, 0x03, 0x00,
                                 0xff, 0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0x21,
                                 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x03,
                                 0x00, 0x02, 0x00, 0x00, 0x02, 0x04, 0x84, 0x30, 0x10, 0x05, 0x00, 0x3b};

TEST_F(ScaleCommand, ReadsEveryFormatTheDecoderTakes) {
    Rgba source{7, 5, {}};
    for (unsigned y = 0; y < 5; ++y)
        for (unsigned x = 0; x < 7; ++x)
            source.bytes.insert(source.bytes.end(),
                                x > y ? std::initializer_list<std::uint8_t>{220, 40, 40, 255}
                                      : std::initializer_list<std::uint8_t>{20, 30, 160, 255});
    for (const char* name : {"pic.png", "pic.bmp", "pic.tga", "pic.jpg"})
        ASSERT_TRUE(writeImage(work / name, source, 3)) << name;
    writeBytes(work / "pic.gif", std::string{std::begin(tinyGif), std::end(tinyGif)});
    const Rgba gif = loadRgba(work / "pic.gif");
    const std::vector<std::uint8_t> gifColours = {255, 0,   0,   255, 0,   0, 255, 255, 255, 0,   0, 255,
                                                  255, 255, 255, 255, 255, 0, 0,   255, 0,   255, 0, 255};
    ASSERT_EQ(gif.bytes, gifColours);
    // A layout the encoder cannot write, 3 x 2, built by hand.
    const std::vector<std::uint8_t> rgb = {200, 10, 10, 10,  200, 10, 10, 10, 200,
                                           90,  90, 90, 250, 250, 0,  0,  0,  0};
    writeBytes(work / "pic16.png", tessera::test::png16Image(3, rgb));

    for (const char* name : {"pic.png", "pic.bmp", "pic.tga", "pic.jpg", "pic.gif", "pic16.png"}) {
        const Rgba input = loadRgba(work / name);
        ASSERT_GT(input.width * input.height, 1u) << name << " does not decode";
        const std::string output = std::string{name} + ".out.png";
        const RunResult result = run({"-f", "2", "-o", output, name});
        EXPECT_EQ(result.status, 0) << name << ": " << result.err;
        // Each input is compared with its own decoding: JPEG is lossy.
        EXPECT_TRUE(loadRgba(work / output) == editorEnlargement(input, 2)) << name;
    }
}

TEST_F(ScaleCommand, KeepsTransparencyFromEveryFormatThatCarriesIt) {
    // A red diagonal band and a half-transparent blue pixel on a transparent background whose
    // colour bits are not black.
    Rgba sprite{6, 5, {}};
    for (unsigned y = 0; y < 5; ++y)
        for (unsigned x = 0; x < 6; ++x) {
            const std::array<std::uint8_t, 4> pixel =
                x == 5 && y == 0       ? std::array<std::uint8_t, 4>{30, 30, 200, 128}
                : x >= y && x <= y + 1 ? std::array<std::uint8_t, 4>{200, 30, 30, 255}
                                       : std::array<std::uint8_t, 4>{37, 150, 90, 0};
            sprite.bytes.insert(sprite.bytes.end(), pixel.begin(), pixel.end());
        }
    ASSERT_TRUE(writeImage(work / "rgba.png", sprite));
    ASSERT_TRUE(writeImage(work / "grey.png", sprite, 2));
    ASSERT_TRUE(writeImage(work / "sprite.bmp", sprite)); // 32 bits per pixel
    ASSERT_TRUE(writeImage(work / "sprite.tga", sprite));
    writeBytes(work / "palette.png", tessera::test::palettePngImage(
                                         3, {0, 1, 2, 2, 0, 1}, {255, 0, 0, 255, 0, 0, 255, 90, 7, 8, 9, 0}));
    // The 3 x 2 GIF below with its blue, index 2, made the transparent one.
    std::string gif{std::begin(tinyGif), std::end(tinyGif)};
    gif[28] = 0x01; // graphic control: a transparent index is given
    gif[31] = 0x02;
    writeBytes(work / "sprite.gif", gif);

    for (const char* name :
         {"rgba.png", "grey.png", "palette.png", "sprite.gif", "sprite.bmp", "sprite.tga"}) {
        const Rgba input = loadRgba(work / name);
        ASSERT_TRUE(keepsAlpha(input)) << name << " decodes without its transparency";
        const std::string output = std::string{name} + ".out.png";
        const RunResult result = run({"-f", "3", "-o", output, name});
        EXPECT_EQ(result.status, 0) << name << ": " << result.err;
        EXPECT_EQ(result.err, "") << name;
        EXPECT_TRUE(loadRgba(work / output) == alphaEnlargement(input, 3)) << name;
    }
}

TEST_F(ScaleCommand, SeveralInputsIntoADirectoryThatIsCreated) {
    copyData(opaqueSprite, "door.png");
    copyData(translucentSprite, "fire.png");
    copyData("cdda_hoder_cat_16.png", "cat.png");
    const RunResult result = run({"-q", "-f", "3", "-o", "out/nested", "door.png", "fire.png", "cat.png"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    for (const char* name : {"door", "fire", "cat"})
        EXPECT_TRUE(loadRgba(work / "out/nested" / (std::string{name} + "@3x.png")) ==
                    expectedEnlargement(loadRgba(work / (std::string{name} + ".png")), 3))
            << name;
}

// The bytes never depend on the threads: a single large image's bands and PNG row groups are
// shared out over the -j threads, several files run at once, and an animation's frames are
// written in order, yet -j 1, 2 and 7 write the same files.
TEST_F(ScaleCommand, EveryJobCountWritesIdenticalBytes) {
    copyData("sheet_cdda_uc_1024.png", "sheet.png");
    copyData(translucentSprite, "fire.png");
    fs::copy_file(regressionDirectory.parent_path().parent_path() / "corpus/image_load/animated.gif",
                  work / "walk.gif");
    const struct {
        std::vector<std::string> inputs;
        const char* factor;
        std::vector<std::string> outputs;
    } cases[] = {
        {{"sheet.png"}, "2", {"sheet@2x.png"}},
        {{"sheet.png"}, "4", {"sheet@4x.png"}},
        {{"sheet.png", "fire.png"}, "2", {"sheet@2x.png", "fire@2x.png"}},
        {{"walk.gif"}, "2", {"walk@2x.png"}},
        {{"walk.gif"}, "3", {"walk@3x.png"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> written;
        for (const char* jobs : {"1", "2", "7"}) {
            const std::string folder =
                std::string{"j"} + jobs + "-" + c.factor + "-" + std::to_string(c.inputs.size());
            std::vector<std::string> args = {"-q", "-j", jobs, "-f", c.factor, "-o", folder + "/"};
            args.insert(args.end(), c.inputs.begin(), c.inputs.end());
            const RunResult result = run(args);
            ASSERT_EQ(result.status, 0) << result.err;
            for (std::size_t i = 0; i < c.outputs.size(); ++i) {
                const std::string bytes = readText(work / folder / c.outputs[i]);
                EXPECT_FALSE(bytes.empty()) << c.outputs[i];
                if (written.size() < c.outputs.size())
                    written.push_back(bytes);
                else
                    EXPECT_TRUE(bytes == written[i])
                        << c.outputs[i] << " at factor " << c.factor << " with -j " << jobs;
            }
        }
    }
    EXPECT_TRUE(loadRgba(work / "j2-2-1/sheet@2x.png") ==
                expectedEnlargement(loadRgba(work / "sheet.png"), 2));
}

TEST_F(ScaleCommand, AFailedInputDoesNotStopTheOthers) {
    copyData(opaqueSprite, "door.png");
    copyData("cdda_hoder_cat_16.png", "cat.png");
    const RunResult result = run({"-q", "-f", "2", "door.png", "missing.png", "cat.png"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(countLines(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find("'missing.png'"), std::string::npos) << result.err;
    EXPECT_EQ(filesLeft(), (std::set<std::string>{"door.png", "door@2x.png", "cat.png", "cat@2x.png"}));
}

// Whether the folder holds a file whose name starts with a dot: a temporary output.
bool holdsHiddenFile(const fs::path& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().filename().string().starts_with("."))
            return true;
    return false;
}

struct SignalCase {
    const char* name;
    int signal;
};

// Every signal whose default action ends the process, but for the faults of the program itself.
std::vector<SignalCase> terminatingSignals() {
    return {{"Hangup", SIGHUP},        {"Interrupt", SIGINT},       {"Quit", SIGQUIT},
            {"Abort", SIGABRT},        {"User1", SIGUSR1},          {"User2", SIGUSR2},
            {"Alarm", SIGALRM},        {"Terminate", SIGTERM},      {"StackFault", SIGSTKFLT},
            {"CpuTime", SIGXCPU},      {"FileSize", SIGXFSZ},       {"VirtualAlarm", SIGVTALRM},
            {"Profiling", SIGPROF},    {"Poll", SIGPOLL},           {"Power", SIGPWR},
            {"BadSystemCall", SIGSYS}, {"FirstRealTime", SIGRTMIN}, {"LastRealTime", SIGRTMAX}};
}

class ScaleCommandSignal : public ScaleCommand, public testing::WithParamInterface<SignalCase> {
protected:
    // Starts 40 outputs into out/, one after the other, each written and flushed to disk, so that
    // the command is often caught with a temporary file open, and stops the command at a moment
    // when one is there. -1 when it finished first.
    pid_t startAndStopWhileWriting() {
        std::vector<std::string> args{"-q", "-j", "1", "-f", "5", "-o", "out"};
        for (int i = 0; i < 40; ++i) {
            const std::string name = "fire" + std::to_string(i) + ".png";
            copyData(translucentSprite, name);
            args.push_back(name);
        }
        fs::create_directory(work / "out");
        const pid_t pid = start(args);
        int status = 0;
        while (pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0) {
            if (!holdsHiddenFile(work / "out"))
                continue;
            ::kill(pid, SIGSTOP);
            if (::waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status) &&
                holdsHiddenFile(work / "out"))
                return pid;
            ::kill(pid, SIGCONT);
        }
        return -1;
    }
};

TEST_P(ScaleCommandSignal, SentWhileWritingLeavesNoTemporaryFileAndEndsTheCommand) {
    const pid_t pid = startAndStopWhileWriting();
    ASSERT_GT(pid, 0) << "the command finished before it was caught writing";
    ::kill(pid, GetParam().signal);
    ::kill(pid, SIGCONT);
    const RunResult result = finish(pid);
    EXPECT_EQ(result.status, 128 + GetParam().signal) << "it ends as the signal ends a command";
    EXPECT_FALSE(holdsHiddenFile(work / "out"));
}

INSTANTIATE_TEST_SUITE_P(Signals, ScaleCommandSignal, testing::ValuesIn(terminatingSignals()),
                         [](const testing::TestParamInfo<SignalCase>& info) { return info.param.name; });

// SIGPIPE is ignored, so that a closed pipe fails a write instead of ending the run: sent while
// writing, it changes nothing.
TEST_F(ScaleCommandSignal, BrokenPipeSignalIsIgnoredAndEveryOutputFinished) {
    const pid_t pid = startAndStopWhileWriting();
    ASSERT_GT(pid, 0) << "the command finished before it was caught writing";
    ::kill(pid, SIGPIPE);
    ::kill(pid, SIGCONT);
    const RunResult result = finish(pid);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(holdsHiddenFile(work / "out"));
    EXPECT_EQ(std::distance(fs::directory_iterator{work / "out"}, fs::directory_iterator{}), 40);
}

// A reader of stderr that has gone makes the messages stop, not the run: the inputs after a
// failure are still enlarged and the failure still counts.
TEST_F(ScaleCommand, ClosedStderrDoesNotEndTheRun) {
    std::vector<std::string> args{"-f", "5", "-j", "2", "-o", "out", "missing.png"};
    for (int i = 0; i < 6; ++i) {
        copyData(translucentSprite, "fire" + std::to_string(i) + ".png");
        args.push_back("fire" + std::to_string(i) + ".png");
    }
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ::close(pipeEnds[0]);
    const RunResult result = finish(start(args, false, -1, pipeEnds[1]));
    ::close(pipeEnds[1]);
    EXPECT_EQ(result.status, 1);
    std::set<std::string> expected{"out"};
    for (int i = 0; i < 6; ++i) {
        expected.insert("fire" + std::to_string(i) + ".png");
        expected.insert("out/fire" + std::to_string(i) + "@5x.png");
    }
    EXPECT_EQ(filesLeft(), expected);
}

TEST_F(ScaleCommand, StandardOutputGetsTheFilesBytes) {
    copyData(translucentSprite, "fire.png");
    ASSERT_EQ(run({"-f", "3", "-o", "fire3.png", "fire.png"}).status, 0);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t pid = start({"-f", "3", "-o", "-", "fire.png"}, false, pipeEnds[1]);
    ::close(pipeEnds[1]);
    std::string piped;
    char buffer[4096];
    for (ssize_t count; (count = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;)
        if (count > 0)
            piped.append(buffer, static_cast<std::size_t>(count));
        else if (errno != EINTR)
            break;
    ::close(pipeEnds[0]);
    const RunResult result = finish(pid);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(piped == readText(work / "fire3.png")) << piped.size() << " bytes";
    EXPECT_EQ(filesLeft(), (std::set<std::string>{"fire.png", "fire3.png"}));

    // A reader that has gone before the image is written: a failure to write, on one line.
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ::close(pipeEnds[0]);
    const RunResult closed = finish(start({"-f", "3", "-o", "-", "fire.png"}, false, pipeEnds[1]));
    ::close(pipeEnds[1]);
    EXPECT_EQ(closed.status, 1);
    EXPECT_EQ(closed.err, "tessera-scale: cannot write to standard output: Broken pipe\n");
}

TEST_F(ScaleCommand, HelpAndVersion) {
    const RunResult help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tessera-scale"), std::string::npos);
    EXPECT_NE(help.out.find("--background"), std::string::npos);
    EXPECT_EQ(help.err, "");
    const RunResult version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string{"tessera-scale "} + TESSERA_VERSION + "\n");
}

TEST_F(ScaleCommand, ProgressLineOnlyWhenStderrIsATerminal) {
    copyData(opaqueSprite, "a.png");
    copyData(opaqueSprite, "b.png");
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::chdir(work.c_str()) == 0)
            ::execl(TESSERA_SCALE_PATH, TESSERA_SCALE_PATH, "-f", "2", "a.png", "b.png", nullptr);
        ::_exit(127);
    }
    std::string shown;
    char buffer[256];
    for (;;) {
        const ssize_t count = ::read(terminal, buffer, sizeof buffer);
        if (count > 0)
            shown.append(buffer, static_cast<std::size_t>(count));
        else if (count == 0 || errno != EINTR)
            break; // the terminal reports an error once the child has gone
    }
    ::close(terminal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    EXPECT_NE(shown.find("2/2 files"), std::string::npos) << shown;

    // The same run with stderr in a file says nothing at all.
    const RunResult piped = run({"-f", "2", "a.png", "b.png"});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
}

TEST_F(ScaleCommand, StandardOutputRefusedOnATerminal) {
    copyData(opaqueSprite, "a.png");
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::chdir(work.c_str()) == 0)
            ::execl(TESSERA_SCALE_PATH, TESSERA_SCALE_PATH, "-o", "-", "a.png", nullptr);
        ::_exit(127);
    }
    std::string shown;
    char buffer[256];
    for (;;) {
        const ssize_t count = ::read(terminal, buffer, sizeof buffer);
        if (count > 0)
            shown.append(buffer, static_cast<std::size_t>(count));
        else if (count == 0 || errno != EINTR)
            break;
    }
    ::close(terminal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << shown;
    EXPECT_NE(shown.find("will not write an image to a terminal"), std::string::npos) << shown;
    EXPECT_EQ(countLines(shown), 1u) << shown;
    EXPECT_EQ(filesLeft(), std::set<std::string>{"a.png"});
}

// A GIF of `frames` frames of 4 x 4.
std::string gifOfFrames(std::size_t frames) {
    return tessera::test::gifOf(std::vector<tessera::test::GifFrame>(frames));
}

// A device node where the output goes: made with mknod as root, else a link to /dev/null.
void makeDeviceNode(const fs::path& path) {
    if (::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
        fs::create_symlink("/dev/null", path);
}

// Each case starts with "sprite.png" (opaque) in the work directory.
struct FailureCase {
    const char* name;
    std::function<void(const fs::path& work)> prepare;
    std::vector<std::string> args;
    int status;
    std::vector<const char*> messageParts; // all must appear in the single line on stderr
    std::set<std::string> filesAfter;      // everything under the work directory afterwards
};

void nothingMore(const fs::path&) {}

const FailureCase failureCases[] = {
    {"MissingInput", nothingMore, {"missing.png"}, 1, {"'missing.png'", "No such file"}, {"sprite.png"}},
    {"NotAnImage",
     [](const fs::path& w) { writeBytes(w / "notes.png", "not an image\n"); },
     {"notes.png"},
     1,
     {"'notes.png'", "not a PNG"},
     {"sprite.png", "notes.png"}},
    {"EmptyFile",
     [](const fs::path& w) { writeBytes(w / "empty.png", ""); },
     {"empty.png"},
     1,
     {"'empty.png'"},
     {"sprite.png", "empty.png"}},
    {"TruncatedPng",
     [](const fs::path& w) { writeBytes(w / "cut.png", readText(w / "sprite.png").substr(0, 120)); },
     {"cut.png"},
     1,
     {"'cut.png'", "damaged"},
     {"sprite.png", "cut.png"}},
    // 6 x 5 pixels declared, the deflate data cut off mid-block: an old decoder inflated it without end.
    {"PngWhoseDeflateDataStopsMidBlock",
     [](const fs::path& w) {
         fs::copy_file(regressionDirectory / "png_truncated_deflate_inflates_without_end.png", w / "cut.png");
     },
     {"cut.png"},
     1,
     {"cannot read 'cut.png'", "damaged"},
     {"sprite.png", "cut.png"}},
    // A data chunk declaring nearly 2 GiB in a file of 507 bytes.
    {"PngDataChunkBeyondTheFile",
     [](const fs::path& w) {
         fs::copy_file(regressionDirectory / "png_idat_declaring_more_than_the_file_holds.png",
                       w / "long.png");
     },
     {"long.png"},
     1,
     {"cannot read 'long.png'", "damaged"},
     {"sprite.png", "long.png"}},
    // Headers alone, declaring images whose enlargement exceeds the limit even at factor 2, or
    // whose decoding would; each is refused before the decoder allocates for it.
    {"PngTooLarge",
     [](const fs::path& w) { writeBytes(w / "huge.png", tessera::test::pngHeader(10000, 10000)); },
     {"-f", "2", "huge.png"},
     1,
     {"cannot enlarge 'huge.png'", "too large: 10000 x 10000"},
     {"sprite.png", "huge.png"}},
    {"TgaTooLarge",
     [](const fs::path& w) { writeBytes(w / "huge.tga", tessera::test::tgaHeader(8224, 8224)); },
     {"-f", "2", "huge.tga"},
     1,
     {"cannot enlarge 'huge.tga'", "too large: 8224 x 8224"},
     {"sprite.png", "huge.tga"}},
    {"BmpTooLarge",
     [](const fs::path& w) { writeBytes(w / "huge.bmp", tessera::test::bmpHeader(20000, 20000)); },
     {"-f", "2", "huge.bmp"},
     1,
     {"cannot enlarge 'huge.bmp'", "too large: 20000 x 20000"},
     {"sprite.png", "huge.bmp"}},
    {"GifTooLarge",
     [](const fs::path& w) { writeBytes(w / "huge.gif", tessera::test::gifHeader(30000, 30000)); },
     {"-f", "2", "huge.gif"},
     1,
     {"cannot enlarge 'huge.gif'", "too large: 30000 x 30000"},
     {"sprite.png", "huge.gif"}},
    {"JpegTooLarge",
     [](const fs::path& w) { writeBytes(w / "huge.jpg", tessera::test::jpegHeader(65500, 65500)); },
     {"-f", "2", "huge.jpg"},
     1,
     {"cannot enlarge 'huge.jpg'", "too large: 65500 x 65500"},
     {"sprite.png", "huge.jpg"}},
    {"Png16TooLargeToDecode",
     [](const fs::path& w) { writeBytes(w / "deep.png", tessera::test::pngHeader(8192, 8192, 16)); },
     {"-f", "2", "deep.png"},
     1,
     {"cannot enlarge 'deep.png'", "too large to decode: 8192 x 8192 needs 512 MiB"},
     {"sprite.png", "deep.png"}},
    // Sizes the decoder would refuse as well are judged from the header: too large, not unreadable.
    {"PngBeyondTheDecoder",
     [](const fs::path& w) { writeBytes(w / "vast.png", tessera::test::pngHeader(46340, 46340)); },
     {"-f", "2", "vast.png"},
     1,
     {"cannot enlarge 'vast.png'", "too large: 46340 x 46340"},
     {"sprite.png", "vast.png"}},
    {"OneBitPngBeyondTheDecoder",
     [](const fs::path& w) { writeBytes(w / "vast.png", tessera::test::pngHeader(60000, 60000, 1, 0)); },
     {"-f", "2", "vast.png"},
     1,
     {"cannot enlarge 'vast.png'", "too large: 60000 x 60000"},
     {"sprite.png", "vast.png"}},
    // Counting stops past the limit: the message says no more than was counted.
    {"GifOfTooManyFrames",
     [](const fs::path& w) {
         writeBytes(w / "long.gif", gifOfFrames(tessera::pixels::maxAnimationFrames + 50));
     },
     {"-f", "2", "long.gif"},
     1,
     {"cannot enlarge 'long.gif'", "at least 10001 frames of 4 x 4"},
     {"sprite.png", "long.gif"}},
    // Cut files, each a byte short of its last pixel.
    {"TruncatedBmp",
     [](const fs::path& w) {
         writeBytes(w / "cut.bmp", tessera::test::bmpHeader(3, 2) + std::string(12 + 8, '\x40'));
     },
     {"cut.bmp"},
     1,
     {"cannot read 'cut.bmp'", "damaged"},
     {"sprite.png", "cut.bmp"}},
    {"TruncatedTga",
     [](const fs::path& w) {
         writeBytes(w / "cut.tga", tessera::test::tgaHeader(3, 2) + std::string(17, '\x40'));
     },
     {"cut.tga"},
     1,
     {"cannot read 'cut.tga'", "damaged"},
     {"sprite.png", "cut.tga"}},
    {"GifCutInsideItsSecondFrame",
     [](const fs::path& w) {
         const std::string gif = gifOfFrames(3);
         writeBytes(w / "cut.gif", gif.substr(0, gif.size() - 50));
     },
     {"cut.gif"},
     1,
     {"cannot read 'cut.gif'", "damaged or truncated"},
     {"sprite.png", "cut.gif"}},
    // Outputs that are not regular files are left as they are, symbolic links followed.
    {"OutputIsADeviceNode",
     [](const fs::path& w) { makeDeviceNode(w / "mynull"); },
     {"-o", "mynull", "sprite.png"},
     1,
     {"cannot write 'mynull' (from 'sprite.png')", "a device, not a regular file"},
     {"sprite.png", "mynull"}},
    {"OutputIsAFifo",
     [](const fs::path& w) { ::mkfifo((w / "myfifo").c_str(), 0644); },
     {"-o", "myfifo", "sprite.png"},
     1,
     {"'myfifo'", "a pipe, not a regular file"},
     {"sprite.png", "myfifo"}},
    {"OutputIsALinkToADescriptor",
     [](const fs::path& w) { fs::create_symlink("/proc/self/fd/0", w / "input.png"); },
     {"-o", "input.png", "sprite.png"},
     1,
     {"'input.png'", "a device, not a regular file"},
     {"sprite.png", "input.png"}},
    {"DefaultOutputIsADirectory",
     [](const fs::path& w) { fs::create_directory(w / "sprite@4x.png"); },
     {"sprite.png"},
     1,
     {"'sprite@4x.png'", "a directory"},
     {"sprite.png", "sprite@4x.png"}},
    {"StandardOutputForSeveralInputs",
     nothingMore,
     {"-o", "-", "sprite.png", "sprite.png"},
     2,
     {"'-o -'", "one input"},
     {"sprite.png"}},
    // A name that would break the line or drive the terminal is printed escaped, on one line.
    {"NameWithANewlineAndAnEscapeSequence",
     nothingMore,
     {"bad\nname\x1b[31m.png"},
     1,
     {"cannot read 'bad\\nname\\x1b[31m.png': No such file"},
     {"sprite.png"}},
    // A format the decoder is built without (the decoder tests cover each), whole and valid, is
    // refused with the formats that are read.
    {"PsdRefused",
     [](const fs::path& w) {
         writeBytes(w / "art.psd", tessera::test::psdImage(1, {1, 2, 3}));
     },
     {"-f", "2", "art.psd"},
     1,
     {"cannot read 'art.psd'", "not a PNG, BMP, TGA, JPEG, GIF or WebP image"},
     {"sprite.png", "art.psd"}},
    // 4100 pixels wide, 16400 at factor 4: wider than a WebP holds.
    {"WebpTooWide",
     [](const fs::path& w) {
         writeBytes(w / "wide.png", tessera::test::pngImage(4100, 1, 8, 2, std::string(1 + 3 * 4100, '\0')));
     },
     {"-o", "wide.webp", "wide.png"},
     1,
     {"cannot enlarge 'wide.png'", "at most 16383 pixels a side"},
     {"sprite.png", "wide.png"}},
    {"DirectoryAsInput",
     [](const fs::path& w) { fs::create_directory(w / "folder"); },
     {"folder"},
     1,
     {"'folder'", "directory"},
     {"sprite.png", "folder"}},
    {"OutputUnderARegularFile",
     [](const fs::path& w) { writeBytes(w / "blocker", "x"); },
     {"-o", "blocker/out.png", "sprite.png"},
     1,
     {"'blocker/out.png'", "Not a directory"},
     {"sprite.png", "blocker"}},
    {"OutputInAMissingDirectory",
     nothingMore,
     {"-o", "nowhere/out.png", "sprite.png"},
     1,
     {"'nowhere/out.png'", "No such file"},
     {"sprite.png"}},
    {"OutputDirectoryIsAFile",
     [](const fs::path& w) {
         writeBytes(w / "blocker", "x");
         fs::copy_file(w / "sprite.png", w / "other.png");
     },
     {"-o", "blocker", "sprite.png", "other.png"},
     1,
     {"'blocker'"},
     {"sprite.png", "other.png", "blocker"}},
    {"OutputIsTheInput",
     nothingMore,
     {"-o", "sprite.png", "sprite.png"},
     1,
     {"'sprite.png'", "overwrite"},
     {"sprite.png"}},
    {"OutputIsTheInputSpelledOtherwise",
     [](const fs::path& w) { fs::create_directory(w / "sub"); },
     {"-o", "./sub/../sprite.png", "sprite.png"},
     1,
     {"overwrite"},
     {"sprite.png", "sub"}},
    {"OutputIsAHardLinkToTheInput",
     [](const fs::path& w) { fs::create_hard_link(w / "sprite.png", w / "alias.png"); },
     {"-o", "alias.png", "sprite.png"},
     1,
     {"'alias.png'", "overwrite"},
     {"sprite.png", "alias.png"}},
    {"OutputIsASymlinkToTheInput",
     [](const fs::path& w) { fs::create_symlink("sprite.png", w / "link.png"); },
     {"-o", "link.png", "sprite.png"},
     1,
     {"'link.png'", "overwrite"},
     {"sprite.png", "link.png"}},
    {"OutputIsAnotherInput",
     [](const fs::path& w) { fs::copy_file(w / "sprite.png", w / "sprite@2x.png"); },
     {"-f", "2", "sprite.png", "sprite@2x.png"},
     1,
     {"overwrite input 'sprite@2x.png'"},
     {"sprite.png", "sprite@2x.png", "sprite@2x@2x.png"}},
    {"TwoInputsOneOutput",
     [](const fs::path& w) {
         for (const char* dir : {"a", "b"}) {
             fs::create_directory(w / dir);
             fs::copy_file(w / "sprite.png", w / dir / "sprite.png");
         }
     },
     {"-o", "out", "a/sprite.png", "b/sprite.png"},
     1,
     {"'out/sprite@4x.png'", "'a/sprite.png'"},
     {"sprite.png", "a", "a/sprite.png", "b", "b/sprite.png", "out", "out/sprite@4x.png"}},
    // Usage errors stop before any file is touched, even when the inputs are fine.
    {"FactorOne", nothingMore, {"-f", "1", "sprite.png"}, 2, {"factor '1'"}, {"sprite.png"}},
    {"FactorSix", nothingMore, {"--factor", "6", "sprite.png"}, 2, {"factor '6'"}, {"sprite.png"}},
    {"FactorNotANumber", nothingMore, {"-f", "four", "sprite.png"}, 2, {"factor 'four'"}, {"sprite.png"}},
    {"ZeroJobs", nothingMore, {"-j", "0", "sprite.png"}, 2, {"jobs '0'"}, {"sprite.png"}},
    {"NegativeJobs", nothingMore, {"--jobs=-3", "sprite.png"}, 2, {"jobs '-3'"}, {"sprite.png"}},
    {"AbsurdJobs", nothingMore, {"-j", "100000", "sprite.png"}, 2, {"jobs '100000'"}, {"sprite.png"}},
    {"BadBackground",
     nothingMore,
     {"--background", "#12345", "sprite.png"},
     2,
     {"background"},
     {"sprite.png"}},
    {"UnknownOption", nothingMore, {"--shiny", "sprite.png"}, 2, {"'--shiny'"}, {"sprite.png"}},
    {"NoInput", nothingMore, {"-f", "2"}, 2, {"no input"}, {"sprite.png"}},
};

class ScaleCommandFailure : public ScaleCommand, public testing::WithParamInterface<FailureCase> {};

TEST_P(ScaleCommandFailure, OneLineNamingTheFileAndNoPartialOutput) {
    const FailureCase& c = GetParam();
    copyData(opaqueSprite, "sprite.png");
    c.prepare(work);
    // No refusal needs much memory: a declared size must be refused before it is allocated.
    const RunResult result = run(c.args, true);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(countLines(result.err), 1u) << result.err;
    EXPECT_TRUE(result.err.starts_with("tessera-scale: ")) << result.err;
    for (const char* part : c.messageParts)
        EXPECT_NE(result.err.find(part), std::string::npos) << "missing \"" << part << "\" in " << result.err;
    EXPECT_EQ(filesLeft(), c.filesAfter);
    EXPECT_EQ(result.out, "");
    // Within the limit, a decoder that allocated for a damaged file until refused would still pass
    // above; its peak shows it. AddressSanitizer's own memory dwarfs the command's.
    if (!addressSanitizer) {
        EXPECT_LT(result.peakResidentKiB, static_cast<long>(memoryLimit >> 10) / 4) << result.peakResidentKiB;
    }
}

INSTANTIATE_TEST_SUITE_P(Errors, ScaleCommandFailure, testing::ValuesIn(failureCases),
                         [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

} // namespace

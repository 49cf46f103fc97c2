// The settings reader: header values, palette lines, refused fields, the 256-colour limit,
// line endings, and loadSettings on real files and on what is not one.
#include "shell/settings_file.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <tessera/editor/settings.h>
#include <unistd.h>
#include <vector>

namespace {

EditorSettings read(const std::string& text) {
    std::istringstream in(text);
    return readSettings(in);
}

std::vector<Colour> coloursOf(const EditorSettings& settings) {
    return {settings.palette.begin(), settings.palette.begin() + settings.paletteCount};
}

std::string describe(const std::vector<Colour>& colours) {
    std::ostringstream out;
    for (const Colour& c : colours)
        out << "(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a) << ") ";
    return out.str();
}

void expectBuiltInPalette(const EditorSettings& settings, const std::string& name) {
    EXPECT_EQ(settings.paletteCount, 16) << name;
    EXPECT_EQ(settings.palette, builtInPalette()) << name;
}

// The colours of a file whose header is "800 4 5" and whose palette lines follow; the built-in
// palette is written as an empty list.
std::vector<Colour> paletteFrom(const std::string& paletteLines) {
    const EditorSettings settings = read("800 4 5\n" + paletteLines);
    if (settings.palette == builtInPalette() && settings.paletteCount == 16)
        return {};
    return coloursOf(settings);
}

constexpr Colour red{255, 0, 0, 255};
constexpr Colour blue{0, 0, 255, 255};
constexpr Colour c102030{10, 20, 30, 255};

} // namespace

TEST(SettingsDefaults, MatchTheBuiltInValues) {
    const EditorSettings settings;
    EXPECT_EQ(settings.windowSize, 800);
    EXPECT_EQ(settings.scaleFactor, 4);
    EXPECT_EQ(settings.zoom, 5);
    expectBuiltInPalette(settings, "defaults");
    // Entries past the 16 built-in colours are opaque black.
    for (std::size_t i = 16; i < settings.palette.size(); ++i)
        EXPECT_EQ(settings.palette[i], opaqueBlack) << "entry " << i;
    for (const Colour& c : DefaultPalette)
        EXPECT_EQ(c.a, 255);
    EXPECT_EQ(DefaultPalette[3], (Colour{190, 38, 51, 255}));
    EXPECT_EQ(DefaultPalette[15], (Colour{178, 220, 239, 255}));
}

struct HeaderCase {
    const char* name;
    std::string text;
    std::int32_t windowSize, scaleFactor, zoom;
};

class SettingsHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(SettingsHeader, ReadsUntilTheFirstValueThatCannotBeRead) {
    const HeaderCase& c = GetParam();
    const EditorSettings settings = read(c.text);
    EXPECT_EQ(settings.windowSize, c.windowSize) << c.name;
    EXPECT_EQ(settings.scaleFactor, c.scaleFactor) << c.name;
    EXPECT_EQ(settings.zoom, c.zoom) << c.name;
    expectBuiltInPalette(settings, c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsHeader,
    testing::Values(
        // An empty file keeps every default.
        HeaderCase{"Empty", "", 800, 4, 5},
        // Three values and no palette line.
        HeaderCase{"AllThree", "640 3 4", 640, 3, 4},
        // One value: the others keep their defaults.
        HeaderCase{"OnlyWindow", "640", 640, 4, 5}, HeaderCase{"WindowAndFactor", "640 3\n", 640, 3, 5},
        // Commas are not white space: reading stops at the first one.
        HeaderCase{"CommaSeparated", "640,3,4", 640, 4, 5},
        // Reading stops at the x.
        HeaderCase{"WindowWrittenAsSize", "800x800 4 5", 800, 4, 5},
        // Any white space separates the values, line breaks included.
        HeaderCase{"ThreeLines", "640\n3\n4\n", 640, 3, 4},
        HeaderCase{"TabsAndBlankLines", " \t\n\n640\t\t3 \r\n\v\f 4", 640, 3, 4},
        HeaderCase{"CrLfLines", "640\r\n3\r\n4\r\n", 640, 3, 4},
        // Signs are taken; the values are not range-tested here.
        HeaderCase{"Signs", "+640 -3 -0", 640, -3, 0}, HeaderCase{"Zeros", "0 0 0", 0, 0, 0},
        HeaderCase{"Int32Limits", "2147483647 -2147483648 7", INT32_MAX, INT32_MIN, 7},
        HeaderCase{"LeadingZeros", "000640 0003 04", 640, 3, 4},
        // A number outside the 32-bit range keeps its default, and so do the values after it.
        HeaderCase{"WindowTooLarge", "2147483648 3 4", 800, 4, 5},
        HeaderCase{"FactorTooSmall", "640 -2147483649 4", 640, 4, 5},
        HeaderCase{"ZoomHuge", "640 3 99999999999999999999999999", 640, 3, 5},
        // A sign without digits, or a character that begins no number.
        HeaderCase{"LoneMinus", "640 - 3 4", 640, 4, 5}, HeaderCase{"SignThenSpace", "+ 640 3 4", 800, 4, 5},
        HeaderCase{"DoubleSign", "640 --3 4", 640, 4, 5}, HeaderCase{"Letters", "abc 3 4", 800, 4, 5},
        HeaderCase{"DecimalPoint", "640 3.5 4", 640, 3, 5}, HeaderCase{"Hexadecimal", "0x280 3 4", 0, 4, 5},
        HeaderCase{"CommentFirst", "# settings\n640 3 4", 800, 4, 5},
        HeaderCase{"NulByte", std::string("\0 3 4", 5), 800, 4, 5}),
    [](const testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

struct PaletteCase {
    const char* name;
    std::string lines;           // after a header "800 4 5\n"
    std::vector<Colour> colours; // empty: the built-in palette
};

class SettingsPalette : public testing::TestWithParam<PaletteCase> {};

TEST_P(SettingsPalette, ReadsColourLines) {
    const PaletteCase& c = GetParam();
    const std::vector<Colour> colours = paletteFrom(c.lines);
    EXPECT_EQ(colours, c.colours) << c.name << ": got " << describe(colours) << ", expected "
                                  << describe(c.colours);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SettingsPalette,
    testing::Values(
        // Two colour lines make a palette of two: the canvas starts red, the user paints blue.
        PaletteCase{"TwoColours", "255,0,0\n0,0,255\n", {red, blue}},
        // A single colour is dropped for the built-in palette.
        PaletteCase{"OneColour", "255,0,0\n", {}}, PaletteCase{"None", "", {}},
        // Each value is taken modulo 256.
        PaletteCase{"Modulo256", "300,-1,0\n1,2,3\n", {{44, 255, 0, 255}, {1, 2, 3, 255}}},
        PaletteCase{
            "Int32Extremes", "2147483647,-2147483648,256\n1,2,3\n", {{255, 0, 0, 255}, {1, 2, 3, 255}}},
        // A fourth field is converted and ignored; it does not set the alpha.
        PaletteCase{"FourthFieldIgnored", "10,20,30,40\n10,20,30,0\n", {c102030, c102030}},
        PaletteCase{"ManyFields", "10,20,30,1,2,3,4,5\n0,0,255\n", {c102030, blue}},
        // Fewer than three fields, an empty line included, add nothing.
        PaletteCase{"TwoFields", "10,20\n255,0,0\n\n0,0,255\n", {red, blue}},
        // Without commas a line is one field.
        PaletteCase{"SpacesNotCommas", "10 20 30\n255,0,0\n0,0,255\n", {red, blue}},
        // White space before a number, anything after its digits.
        PaletteCase{"SpacesBesideNumbers", "10, 20 ,30\n\t10,\t20,\t30\t\n", {c102030, c102030}},
        PaletteCase{"LettersAfterNumber", "10,20,30xyz\n10abc,20.9,30e5\n", {c102030, c102030}},
        // A ',' at the end of the line opens no field.
        PaletteCase{"TrailingComma", "10,20,30,\n10,20,30,\n", {c102030, c102030}},
        PaletteCase{"TwoFieldsAndTrailingComma", "10,20,\n255,0,0\n0,0,255\n", {red, blue}},
        PaletteCase{"Signs", "+10,-0,+30\n-246,-236,-226\n", {{10, 0, 30, 255}, c102030}},
        // A '#' as the very first character makes a comment, whatever follows.
        PaletteCase{"Comments", "# red\n255,0,0\n#0,255,0\n#\n0,0,255\n", {red, blue}},
        // The last line counts without a line feed.
        PaletteCase{"LastLineWithoutLineFeed", "255,0,0\n0,0,255", {red, blue}},
        // A carriage return before the line feed belongs to the line ending.
        PaletteCase{"CrLf", "255,0,0\r\n#comment\r\n0,0,255\r\n", {red, blue}},
        PaletteCase{"CrLfTrailingComma", "10,20,30,\r\n10,20,30,\r\n", {c102030, c102030}},
        // A carriage return elsewhere stays in the line and is white space to the conversion.
        PaletteCase{"CarriageReturnInside", "10,\r20,30\r\r\n\r10,20,30", {c102030, c102030}}),
    [](const testing::TestParamInfo<PaletteCase>& info) { return std::string(info.param.name); });

// A field the conversion refuses makes its line add nothing; the line does not count and reading
// goes on with the next one.
INSTANTIATE_TEST_SUITE_P(
    RefusedFields, SettingsPalette,
    testing::Values(PaletteCase{"LettersFirst", "red,0,0\n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"EmptyMiddleField", "10,,30\n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"EmptyFirstField", ",10,20,30\n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"LoneComma", ",\n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"OnlyCommas", ",,,\n255,0,0\n0,0,255\n", {red, blue}},
                    // Every field is converted, those past the third too.
                    PaletteCase{"BadFourthField", "10,20,30,alpha\n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"EmptyFourthField", "10,20,30,,\n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"WhiteSpaceOnly", "   \t \n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"IndentedComment", "  # 10,20,30\n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"SignWithoutDigits", "10,-,30\n255,0,0\n+,1,2\n0,0,255\n", {red, blue}},
                    PaletteCase{"AboveInt32", "10,2147483648,30\n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"BelowInt32", "10,20,-2147483649\n255,0,0\n0,0,255\n", {red, blue}},
                    PaletteCase{"VeryLongNumber",
                                "10,20,1" + std::string(400, '0') + "\n255,0,0\n0,0,255\n",
                                {red, blue}},
                    // A refused line between two colours leaves exactly those two.
                    PaletteCase{"RefusedBetween", "255,0,0\nx,y,z\n0,0,255\n", {red, blue}},
                    // One colour and a refused line still give the built-in palette.
                    PaletteCase{"OneColourAndRefused", "255,0,0\n1,2,x\n", {}}),
    [](const testing::TestParamInfo<PaletteCase>& info) { return std::string(info.param.name); });

TEST(SettingsPalette, RestOfHeaderLineIsTheFirstPaletteLine) {
    const EditorSettings settings = read("800 4 5 10,20,30\n0,0,255\n");
    EXPECT_EQ(coloursOf(settings), (std::vector<Colour>{c102030, blue}));
    // Directly after the digits of the third value: the rest ",1,2" opens with an empty field,
    // which refuses the line.
    const EditorSettings glued = read("800 4 5,1,2\n255,0,0\n0,0,255\n");
    EXPECT_EQ(glued.zoom, 5);
    EXPECT_EQ(coloursOf(glued), (std::vector<Colour>{red, blue}));
}

TEST(SettingsPalette, EntriesPastTheCountAreOpaqueBlack) {
    const EditorSettings settings = read("800 4 5\n255,0,0\n0,0,255\n");
    ASSERT_EQ(settings.paletteCount, 2);
    for (std::size_t i = 2; i < settings.palette.size(); ++i)
        ASSERT_EQ(settings.palette[i], opaqueBlack) << "entry " << i;
}

TEST(SettingsPalette, HeaderFailureReadsNoPaletteLine) {
    const EditorSettings settings = read("800 4 x\n255,0,0\n0,0,255\n");
    EXPECT_EQ(settings.zoom, 5);
    expectBuiltInPalette(settings, "zoom x");
}

TEST(SettingsLimit, KeepsTheFirst256ColoursAndReadsNoFurther) {
    std::string text = "800 4 5\n";
    for (int i = 0; i < 300; ++i)
        text += std::to_string(i) + ",0,0\n";
    std::istringstream in(text);
    const EditorSettings settings = readSettings(in);
    ASSERT_EQ(settings.paletteCount, 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(settings.palette[static_cast<std::size_t>(i)],
                  (Colour{static_cast<std::uint8_t>(i), 0, 0, 255}));
    // The line after the 256th colour is still unread.
    std::string next;
    ASSERT_TRUE(std::getline(in, next));
    EXPECT_EQ(next, "256,0,0");
}

TEST(SettingsLimit, CommentsShortAndRefusedLinesDoNotCount) {
    std::string text = "800 4 5\n";
    for (int i = 0; i < 256; ++i)
        text += "#c\n10,20\n\n1,2,x\n" + std::to_string(i) + ",1,2\n";
    text += "9,9,9\n";
    std::istringstream in(text);
    const EditorSettings settings = readSettings(in);
    ASSERT_EQ(settings.paletteCount, 256);
    EXPECT_EQ(settings.palette[255], (Colour{255, 1, 2, 255}));
    std::string next;
    ASSERT_TRUE(std::getline(in, next));
    EXPECT_EQ(next, "9,9,9");
}

TEST(SettingsLimit, Exactly256ColoursAreAllKept) {
    std::string text = "800 4 5\n";
    for (int i = 0; i < 256; ++i)
        text += "0,0," + std::to_string(i) + "\n";
    const EditorSettings settings = read(text);
    ASSERT_EQ(settings.paletteCount, 256);
    EXPECT_EQ(settings.palette[255], (Colour{0, 0, 255, 255}));
}

// loadSettings reads "settings.cfg" from the working directory; each case runs in a fresh one.

struct FileCase {
    const char* name;
    std::function<void()> make; // makes settings.cfg, or nothing
    std::int32_t windowSize;
    std::vector<Colour> colours; // empty for the built-in palette
    bool keptOpen;
};

void writeSettings(const std::string& text) {
    std::ofstream("settings.cfg", std::ios::binary) << text;
}

// A file of `bytes` in all: a header and two colours, a hole (zero bytes that take no space on
// the disk), and at its end two more colours that only a reader going that far finds.
const std::string sparseTail = "\n10,20,30\n10,20,30\n";

void sparseSettings(std::uintmax_t bytes) {
    const std::string& tail = sparseTail;
    writeSettings("640 3 4\n255,0,0\n0,0,255\n");
    std::filesystem::resize_file("settings.cfg", bytes - tail.size());
    std::ofstream("settings.cfg", std::ios::binary | std::ios::app) << tail;
}

class LoadSettings : public testing::TestWithParam<FileCase> {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        directory_ = std::filesystem::temp_directory_path() /
                     ("tessera-settings-" + std::to_string(::getpid()) + "-" + GetParam().name);
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        std::filesystem::current_path(directory_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path directory_;
};

TEST_P(LoadSettings, ReadsOnlyWhatASettingsFileCanHold) {
    const FileCase& c = GetParam();
    c.make();
    SettingsFile file;
    const EditorSettings settings = loadSettings("settings.cfg", file);
    EXPECT_EQ(file.descriptor >= 0, c.keptOpen);
    closeSettingsFile(file);
    EXPECT_EQ(file.descriptor, -1);
    EXPECT_EQ(settings.windowSize, c.windowSize);
    if (c.colours.empty())
        expectBuiltInPalette(settings, c.name);
    else
        EXPECT_EQ(coloursOf(settings), c.colours);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadSettings,
    testing::Values(
        FileCase{"Missing", [] {}, 800, {}, false},
        FileCase{"Regular", [] { writeSettings("640 3 4\r\n255,0,0\r\n0,0,255"); }, 640, {red, blue}, true},
        FileCase{"Directory", [] { std::filesystem::create_directory("settings.cfg"); }, 800, {}, false},
        // A FIFO without a writer: an ordinary open would wait for one for ever.
        FileCase{"Fifo", [] { ASSERT_EQ(::mkfifo("settings.cfg", 0600), 0); }, 800, {}, false},
        FileCase{
            "Device", [] { std::filesystem::create_symlink("/dev/zero", "settings.cfg"); }, 800, {}, false},
        FileCase{"BinaryGarbage",
                 [] {
                     std::string garbage;
                     for (int i = 0; i < 4096; ++i)
                         garbage += static_cast<char>((i * 7919 + 13) % 256);
                     writeSettings(garbage);
                 },
                 800,
                 {},
                 true},
        // Everything before the limit counts, nothing after it.
        FileCase{"ColoursEndingAtTheLimit",
                 [] { sparseSettings(maxSettingsBytes); },
                 640,
                 {red, blue, c102030, c102030},
                 true},
        FileCase{"ColoursPastTheLimit",
                 [] { sparseSettings(maxSettingsBytes + sparseTail.size()); },
                 640,
                 {red, blue},
                 true},
        FileCase{"SparseGibibyte", [] { sparseSettings(std::uintmax_t{1} << 30); }, 640, {red, blue}, true}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

#include "command_line.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace tessera;
using namespace tessera::tool;
using namespace tessera::pixels;

Result<CommandLine> parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tessera-scale");
    return parseCommandLine(args);
}

TEST(CommandLine, DefaultsWithOnlyInputs) {
    const auto parsed = parse({"a.png", "b.bmp"});
    ASSERT_TRUE(std::holds_alternative<CommandLine>(parsed));
    const auto& line = std::get<CommandLine>(parsed);
    EXPECT_EQ(line.factor, 4);
    EXPECT_FALSE(line.jobs.has_value());
    EXPECT_FALSE(line.output.has_value());
    EXPECT_EQ(line.background, std::nullopt); // transparency is kept
    EXPECT_FALSE(line.quiet);
    EXPECT_EQ(line.edges.edges, EdgeMode::Clamp);
    EXPECT_EQ(line.edges.cellWidth, 0); // the image is one cell
    EXPECT_EQ(line.edges.cellHeight, 0);
    EXPECT_EQ(line.inputs, (std::vector<std::string>{"a.png", "b.bmp"}));
}

TEST(CommandLine, WrapAndGridAloneOrTogether) {
    const struct {
        std::vector<const char*> args;
        bool wrap;
        int cellWidth, cellHeight;
    } cases[] = {
        {{"--wrap", "a.png"}, true, 0, 0},
        {{"--grid", "16x24", "a.png"}, false, 16, 24},
        {{"a.png", "--grid=32", "--wrap"}, true, 32, 32},
    };
    for (const auto& c : cases) {
        const auto parsed = parse(c.args);
        ASSERT_TRUE(std::holds_alternative<CommandLine>(parsed)) << c.args[1];
        const ScaleOptions& edges = std::get<CommandLine>(parsed).edges;
        EXPECT_EQ(edges.edges == EdgeMode::Wrap, c.wrap) << c.args[1];
        EXPECT_EQ(edges.cellWidth, c.cellWidth) << c.args[1];
        EXPECT_EQ(edges.cellHeight, c.cellHeight) << c.args[1];
    }
}

TEST(CommandLine, EveryOptionInShortAndLongForm) {
    const auto shortForm = parse({"-f", "3", "-j", "2", "-o", "out", "-q", "in.png"});
    const auto longForm = parse(
        {"--factor=3", "--jobs", "2", "--output", "out", "--quiet", "--background", "#0a0B0c", "in.png"});
    for (const auto* parsed : {&shortForm, &longForm}) {
        ASSERT_TRUE(std::holds_alternative<CommandLine>(*parsed));
        const auto& line = std::get<CommandLine>(*parsed);
        EXPECT_EQ(line.factor, 3);
        EXPECT_EQ(line.jobs, 2);
        EXPECT_EQ(line.output, "out");
        EXPECT_TRUE(line.quiet);
        EXPECT_EQ(line.inputs, std::vector<std::string>{"in.png"});
    }
    EXPECT_EQ(std::get<CommandLine>(longForm).background, (Rgb{10, 11, 12}));
}

TEST(CommandLine, OptionsMayFollowInputsAndDoubleDashEndsThem) {
    const auto parsed = parse({"a.png", "-f", "2", "--", "-odd.png"});
    ASSERT_TRUE(std::holds_alternative<CommandLine>(parsed));
    const auto& line = std::get<CommandLine>(parsed);
    EXPECT_EQ(line.factor, 2);
    EXPECT_EQ(line.inputs, (std::vector<std::string>{"a.png", "-odd.png"}));
}

TEST(CommandLine, HelpAndVersionNeedNoInput) {
    EXPECT_TRUE(std::get<CommandLine>(parse({"--help"})).showHelp);
    EXPECT_TRUE(std::get<CommandLine>(parse({"-h"})).showHelp);
    EXPECT_TRUE(std::get<CommandLine>(parse({"--version"})).showVersion);
}

TEST(CommandLine, EveryFactorFromTwoToFive) {
    for (int factor = 2; factor <= 5; ++factor) {
        const std::string text = std::to_string(factor);
        const auto parsed = parse({"-f", text.c_str(), "in.png"});
        ASSERT_TRUE(std::holds_alternative<CommandLine>(parsed)) << factor;
        EXPECT_EQ(std::get<CommandLine>(parsed).factor, factor);
    }
}

struct RejectedCase {
    std::vector<const char*> args;
    const char* messagePart; // the message must name what was wrong
};

class CommandLineRejects : public testing::TestWithParam<RejectedCase> {};

TEST_P(CommandLineRejects, WithAMessage) {
    const auto parsed = parse(GetParam().args);
    const Failure* failure = std::get_if<Failure>(&parsed);
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->step, Step::ParseCommandLine);
    EXPECT_NE(failure->reason.find(GetParam().messagePart), std::string::npos) << failure->reason;
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, CommandLineRejects,
    testing::Values(
        // factors outside 2..5 and anything that is not exactly a decimal number
        RejectedCase{{"-f", "1", "a.png"}, "factor '1'"}, RejectedCase{{"-f", "6", "a.png"}, "factor '6'"},
        RejectedCase{{"-f", "4x", "a.png"}, "factor '4x'"},
        RejectedCase{{"-f", " 4", "a.png"}, "factor ' 4'"},
        RejectedCase{{"-f", "+4", "a.png"}, "factor '+4'"}, RejectedCase{{"--factor=", "a.png"}, "factor ''"},
        RejectedCase{{"-f", "99999999999999999999", "a.png"}, "factor"},
        // thread counts: at least one, at most a sane cap
        RejectedCase{{"-j", "0", "a.png"}, "jobs '0'"}, RejectedCase{{"-j", "-2", "a.png"}, "jobs '-2'"},
        RejectedCase{{"-j", "257", "a.png"}, "jobs '257'"},
        RejectedCase{{"-j", "1e3", "a.png"}, "jobs '1e3'"},
        // colours must be exactly six hex digits
        RejectedCase{{"--background", "#12345", "a.png"}, "background"},
        RejectedCase{{"--background", "#1234567", "a.png"}, "background"},
        RejectedCase{{"--background", "#12345g", "a.png"}, "background"},
        RejectedCase{{"--background", "red", "a.png"}, "background"},
        // cells are whole numbers from 1, one or two of them
        RejectedCase{{"--grid", "0", "a.png"}, "grid '0'"},
        RejectedCase{{"--grid", "-4", "a.png"}, "grid '-4'"},
        RejectedCase{{"--grid", "16x0", "a.png"}, "grid '16x0'"},
        RejectedCase{{"--grid", "x16", "a.png"}, "grid 'x16'"},
        RejectedCase{{"--grid", "16x", "a.png"}, "grid '16x'"},
        RejectedCase{{"--grid", "4x4x4", "a.png"}, "grid '4x4x4'"},
        RejectedCase{{"--grid", "tile", "a.png"}, "grid 'tile'"},
        RejectedCase{{"a.png", "--grid"}, "'--grid'"},
        RejectedCase{{"--wrap=yes", "a.png"}, "'--wrap' takes no value"},
        // option syntax
        RejectedCase{{"--frobnicate", "a.png"}, "'--frobnicate'"}, RejectedCase{{"-x", "a.png"}, "'-x'"},
        RejectedCase{{"--quiet=yes", "a.png"}, "'--quiet' takes no value"},
        RejectedCase{{"a.png", "-f"}, "'-f' needs a value"},
        RejectedCase{{"a.png", "--output"}, "'--output'"}, RejectedCase{{"-o", "", "a.png"}, "output"},
        // nothing to do
        RejectedCase{{}, "no input"}, RejectedCase{{"-q", "-f", "3"}, "no input"}));

TEST(CommandLine, ParsesAgainAfterAFailedParse) {
    // getopt keeps its cursor in libc; a second parse must not inherit the first one's state.
    ASSERT_TRUE(std::holds_alternative<Failure>(parse({"-q", "-x", "a.png"})));
    const auto parsed = parse({"-f", "5", "b.png"});
    ASSERT_TRUE(std::holds_alternative<CommandLine>(parsed));
    EXPECT_EQ(std::get<CommandLine>(parsed).factor, 5);
    EXPECT_EQ(std::get<CommandLine>(parsed).inputs, std::vector<std::string>{"b.png"});
}

TEST(Colour, ParsesWithOrWithoutHashAndFormatsInUpperCase) {
    EXPECT_EQ(parseColour("#FF8000"), (Rgb{255, 128, 0}));
    EXPECT_EQ(parseColour("ff8000"), (Rgb{255, 128, 0}));
    EXPECT_EQ(parseColour("#000000"), (Rgb{0, 0, 0}));
    EXPECT_EQ(parseColour("#-10000"), std::nullopt);
    EXPECT_EQ(parseColour(""), std::nullopt);
    EXPECT_EQ(formatColour(Rgb{255, 128, 10}), "#FF800A");
}

} // namespace

#include "output_plan.h"
#include "shown_names.h"

#include <gtest/gtest.h>

namespace {

using namespace tessera;
using namespace tessera::tool;
using std::filesystem::path;
using tessera::files::FileKind;

CommandLine lineWith(std::vector<std::string> inputs, std::optional<std::string> output, int factor = 4) {
    CommandLine line;
    line.inputs = std::move(inputs);
    line.output = std::move(output);
    line.factor = factor;
    return line;
}

TEST(DefaultOutputName, PutsTheFactorBeforeTheExtensionAndWritesPng) {
    struct Case {
        const char* input;
        int factor;
        const char* expected;
    };
    const Case cases[] = {
        {"hero.png", 4, "hero@4x.png"},
        {"dir/hero.png", 2, "hero@2x.png"},
        {"hero.bmp", 3, "hero@3x.png"},
        {"tiles.v2.png", 5, "tiles.v2@5x.png"},
        {"no_extension", 4, "no_extension@4x.png"},
        {".hidden", 4, ".hidden@4x.png"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(defaultOutputName(c.input, c.factor), path{c.expected}) << c.input;
}

TEST(PlanOutputs, OneInputGoesBesideItUnlessNamed) {
    const OutputPlan beside = planOutputs(lineWith({"art/hero.png"}, std::nullopt), false);
    ASSERT_EQ(beside.jobs.size(), 1u);
    EXPECT_EQ(beside.jobs[0].output, path{"art/hero@4x.png"});
    EXPECT_FALSE(beside.outputDirectory);

    const OutputPlan named = planOutputs(lineWith({"art/hero.png"}, "big.png"), false);
    EXPECT_EQ(named.jobs[0].output, path{"big.png"});
    EXPECT_FALSE(named.outputDirectory);
}

TEST(PlanOutputs, OneInputIntoAnExistingDirectoryOrATrailingSlash) {
    const OutputPlan existing = planOutputs(lineWith({"hero.png"}, "out"), true);
    EXPECT_EQ(existing.jobs[0].output, path{"out/hero@4x.png"});
    const OutputPlan slash = planOutputs(lineWith({"hero.png"}, "new/"), false);
    EXPECT_EQ(slash.jobs[0].output.lexically_normal(), path{"new/hero@4x.png"});
    EXPECT_TRUE(slash.outputDirectory);
}

TEST(PlanOutputs, SeveralInputsIntoTheOutputDirectoryInOrder) {
    const OutputPlan plan = planOutputs(lineWith({"a/x.png", "b/y.bmp"}, "out", 2), false);
    ASSERT_EQ(plan.jobs.size(), 2u);
    EXPECT_EQ(plan.outputDirectory, path{"out"});
    EXPECT_EQ(plan.jobs[0].input, path{"a/x.png"});
    EXPECT_EQ(plan.jobs[0].output, path{"out/x@2x.png"});
    EXPECT_EQ(plan.jobs[1].output, path{"out/y@2x.png"});
}

TEST(PlanOutputs, SeveralInputsWithoutOutputGoBesideEach) {
    const OutputPlan plan = planOutputs(lineWith({"a/x.png", "b/y.png"}, std::nullopt), false);
    EXPECT_EQ(plan.jobs[0].output, path{"a/x@4x.png"});
    EXPECT_EQ(plan.jobs[1].output, path{"b/y@4x.png"});
    EXPECT_FALSE(plan.outputDirectory);
}

TEST(PlanOutputs, DashIsStandardOutputEvenBesideADirectoryOfThatName) {
    const OutputPlan plan = planOutputs(lineWith({"a/x.png"}, "-"), true);
    ASSERT_EQ(plan.jobs.size(), 1u);
    EXPECT_TRUE(plan.jobs[0].standardOutput);
    EXPECT_FALSE(plan.outputDirectory);
    EXPECT_FALSE(planOutputs(lineWith({"a/x.png"}, "./-"), false).jobs[0].standardOutput);
}

PathIdentity identity(const char* canonical, std::uint64_t inode = 0) {
    return PathIdentity{canonical, inode != 0, 1, inode};
}

// Each verdict's reason, empty for an accepted job; every refusal is one to write.
std::vector<std::string> refusals(const std::vector<Result<>>& verdicts) {
    std::vector<std::string> reasons;
    for (const Result<>& verdict : verdicts) {
        const Failure* failure = std::get_if<Failure>(&verdict);
        EXPECT_TRUE(failure == nullptr || failure->step == Step::Write);
        reasons.push_back(failure != nullptr ? failure->reason : "");
    }
    return reasons;
}

TEST(FindConflicts, RefusesOverwritingAnyInputAndRepeatedOutputs) {
    const std::vector<Job> jobs = {{"a.png", "a.png"}, {"b.png", "c.png"}, {"c.png", "x.png"},
                                   {"d.png", "x.png"}, {"e.png", "y.png"}, {"f.png", "e-link.png"}};
    const std::vector<PathIdentity> inputs = {identity("/w/a.png", 1), identity("/w/b.png", 2),
                                              identity("/w/c.png", 3), identity("/w/d.png", 4),
                                              identity("/w/e.png", 5), identity("/w/f.png", 6)};
    const std::vector<PathIdentity> outputs = {
        identity("/w/a.png", 1),      // the input itself
        identity("/w/c.png", 3),      // another input
        identity("/w/x.png"),         // fresh
        identity("/w/x.png"),         // the same fresh output again
        identity("/w/y.png"),         // fresh
        identity("/w/e-link.png", 5), // a hard link to input e: different path, same file
    };
    const std::vector<std::string> reasons = refusals(findConflicts(jobs, inputs, outputs));
    ASSERT_EQ(reasons.size(), jobs.size());
    EXPECT_NE(reasons[0].find("overwrite the input"), std::string::npos) << reasons[0];
    EXPECT_NE(reasons[1].find("overwrite input 'c.png'"), std::string::npos) << reasons[1];
    EXPECT_EQ(reasons[2], "");
    EXPECT_NE(reasons[3].find("'c.png'"), std::string::npos) << reasons[3];
    EXPECT_EQ(reasons[4], "");
    EXPECT_NE(reasons[5].find("overwrite input 'e.png'"), std::string::npos) << reasons[5];
}

TEST(FindConflicts, ARepeatedOutputIsCreditedToTheJobThatWritesIt) {
    const std::vector<Job> jobs = {
        {"a/s.png", "out/s@4x.png"}, {"b/s.png", "out/s@4x.png"}, {"c/s.png", "out/s@4x.png"}};
    const std::vector<PathIdentity> inputs = {identity("/w/a/s.png", 1), identity("/w/b/s.png", 2),
                                              identity("/w/c/s.png", 3)};
    const std::vector<PathIdentity> outputs(3, identity("/w/out/s@4x.png"));
    const std::vector<std::string> reasons = refusals(findConflicts(jobs, inputs, outputs));
    EXPECT_EQ(reasons[0], "");
    EXPECT_NE(reasons[1].find("'a/s.png'"), std::string::npos) << reasons[1];
    EXPECT_NE(reasons[2].find("'a/s.png'"), std::string::npos) << reasons[2];
}

TEST(FindConflicts, RefusesOutputsThatAreNotRegularFilesButNotStandardOutput) {
    const std::vector<Job> jobs = {{"a.png", "null"},   {"b.png", "fifo"},    {"c.png", "socket"},
                                   {"d.png", "folder"}, {"e.png", "old.png"}, {"f.png", "-", true}};
    const std::vector<PathIdentity> inputs = {identity("/w/a.png", 1), identity("/w/b.png", 2),
                                              identity("/w/c.png", 3), identity("/w/d.png", 4),
                                              identity("/w/e.png", 5), identity("/w/f.png", 6)};
    const auto existing = [](const char* canonical, std::uint64_t inode, FileKind kind) {
        return PathIdentity{canonical, true, 1, inode, kind};
    };
    const std::vector<PathIdentity> outputs = {
        existing("/dev/null", 10, FileKind::Device),   existing("/w/fifo", 11, FileKind::Pipe),
        existing("/w/socket", 12, FileKind::Socket),   existing("/w/folder", 13, FileKind::Directory),
        existing("/w/old.png", 14, FileKind::Regular), PathIdentity{}};
    const std::vector<std::string> reasons = refusals(findConflicts(jobs, inputs, outputs));
    EXPECT_EQ(reasons,
              (std::vector<std::string>{"it is a device, not a regular file, which is never replaced",
                                        "it is a pipe, not a regular file, which is never replaced",
                                        "it is a socket, not a regular file, which is never replaced",
                                        "it is a directory, which is never replaced", "", ""}));
}

// Names are quoted, and whatever would break the line or drive the terminal is escaped.
TEST(ShownName, EscapesWhatIsNotPrintableText) {
    const struct {
        std::string name;
        std::string shown;
    } cases[] = {
        {"hero.png", "'hero.png'"},
        {"two\nlines.png", "'two\\nlines.png'"},
        {"red\x1b[31m.png", "'red\\x1b[31m.png'"},
        {"tab\tcr\r.png", "'tab\\tcr\\r.png'"},
        {"back\\slash", "'back\\\\slash'"},
        {"del\x7f", "'del\\x7f'"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x90\x89", "'caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x90\x89'"},
        {"c1\xc2\x9b"
         "2J",
         "'c1\\xc2\\x9b2J'"},                         // U+009B, the single-byte CSI
        {"latin1\xe9.png", "'latin1\\xe9.png'"},      // not UTF-8
        {"cut\xe2\x82", "'cut\\xe2\\x82'"},           // a character cut short
        {"overlong\xc0\xaf", "'overlong\\xc0\\xaf'"}, // '/' in two bytes
        {"surrogate\xed\xa0\x80", "'surrogate\\xed\\xa0\\x80'"},
        {std::string{"nul\0", 4}, "'nul\\x00'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shownName(c.name), c.shown) << c.shown;
}

TEST(SameFile, ByPathOrByInodeOnlyWhenBothExist) {
    EXPECT_TRUE(sameFile(identity("/a"), identity("/a")));
    EXPECT_FALSE(sameFile(identity("/a"), identity("/b")));
    EXPECT_TRUE(sameFile(identity("/a", 7), identity("/b", 7)));
    EXPECT_FALSE(sameFile(PathIdentity{"/a", false, 1, 0}, PathIdentity{"/b", false, 1, 0}));
}

} // namespace

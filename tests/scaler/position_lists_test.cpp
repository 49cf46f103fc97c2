// The position lists the decision makes for each turn: each instruction set's build of
// them (sixteen at a time with AVX-512) against lists written out by hand and against the
// position-by-position ones.
#include "instruction_sets.h"
#include "position_lists.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace tessera {
namespace {

using Codes = std::uint32_t[4][stripColumns];
using Lists = std::uint16_t[4][positionListSize];

// Code k's positions of row r, from the lists and ends of listByCode.
std::vector<int> positionsOf(const Lists& lists, const int* ends, int kinds, int r, int k) {
    const int begin = k == 0 ? 0 : ends[r * kinds + k - 1];
    return {lists[r] + begin, lists[r] + ends[r * kinds + k]};
}

// Stretches 0 and 2 of each row, cut at position 40. Row 2: code 1 at 3, 15 and 33,
// code 0 at 35, code 2 (not a listed kind) at 4, code 5 elsewhere; positions 20 (in
// stretch 1, not scanned) and 45 (past the count) hold code 1 too. Row 1: codes above 5
// at 7 and 36, and at 18 and 44, which are not scanned; code 0 elsewhere.
class HandWrittenLists : public testing::TestWithParam<InstructionSet> {};

TEST_P(HandWrittenLists, ListEachCodeFromTheLeftWithinTheStretchesAndCount) {
    const test::ForcedInstructionSet forced(GetParam());
    if (!forced.forced())
        GTEST_SKIP() << "this processor cannot run the " << test::nameOf(GetParam()) << " build";
    Codes codes;
    for (auto& row : codes)
        std::fill(std::begin(row), std::end(row), 5u);
    for (int at : {3, 15, 20, 33, 45})
        codes[2][at] = 1;
    codes[2][35] = 0;
    codes[2][4] = 2;
    std::fill(std::begin(codes[1]), std::end(codes[1]), 0u);
    for (int at : {7, 18, 36, 44})
        codes[1][at] = 11u + static_cast<std::uint32_t>(at);
    constexpr int kinds = 2;
    for (const auto list : {activePasses().listByCode, listByCodeOneByOne}) {
        Lists lists;
        int ends[4 * kinds];
        list(codes, 0b101, 40, kinds, lists, ends);
        EXPECT_EQ(positionsOf(lists, ends, kinds, 2, 0), std::vector<int>{35});
        EXPECT_EQ(positionsOf(lists, ends, kinds, 2, 1), (std::vector<int>{3, 15, 33}));
        EXPECT_EQ(ends[kinds - 1], 0) << "row 0 holds no listed code";
    }
    for (const auto list : {activePasses().listAbove, listAboveOneByOne}) {
        Lists lists;
        int counts[4];
        list(codes, 0b101, 40, 5, lists, counts);
        EXPECT_EQ(std::vector<int>(lists[1], lists[1] + counts[1]), (std::vector<int>{7, 36}));
        EXPECT_EQ(counts[2], 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, HandWrittenLists, test::everyInstructionSet,
                         [](const testing::TestParamInfo<InstructionSet>& info) {
                             return test::nameOf(info.param);
                         });

struct Scan {
    std::uint32_t stretches;
    int count;
};

class RandomCodes : public test::OnEveryInstructionSet<Scan> {};

TEST_P(RandomCodes, ListTheSameInEveryBuild) {
    const Scan scan = param();
    constexpr int kinds = 5;
    std::mt19937 random(scan.stretches ^ static_cast<std::uint32_t>(scan.count));
    Codes codes;
    for (auto& row : codes)
        for (std::uint32_t& code : row)
            code = random() % 7 == 0 ? 19u : random() % (kinds + 1);
    Lists fast, plain;
    int fastEnds[4 * kinds], plainEnds[4 * kinds];
    activePasses().listByCode(codes, scan.stretches, scan.count, kinds, fast, fastEnds);
    listByCodeOneByOne(codes, scan.stretches, scan.count, kinds, plain, plainEnds);
    int fastCounts[4], plainCounts[4];
    Lists fastAbove, plainAbove;
    activePasses().listAbove(codes, scan.stretches, scan.count, kinds, fastAbove, fastCounts);
    listAboveOneByOne(codes, scan.stretches, scan.count, kinds, plainAbove, plainCounts);
    for (int r = 0; r < 4; ++r) {
        for (int k = 0; k < kinds; ++k)
            EXPECT_EQ(positionsOf(fast, fastEnds, kinds, r, k), positionsOf(plain, plainEnds, kinds, r, k))
                << "row " << r << " code " << k;
        EXPECT_EQ(std::vector<int>(fastAbove[r], fastAbove[r] + fastCounts[r]),
                  std::vector<int>(plainAbove[r], plainAbove[r] + plainCounts[r]))
            << "row " << r;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RandomCodes,
                         testing::Combine(testing::Values(Scan{0xFFF, stripColumns}, Scan{0xFFF, 177},
                                                          Scan{0b10110110, 120}, Scan{0x800, stripColumns},
                                                          Scan{0x1, 1}, Scan{0, stripColumns}),
                                          test::everyInstructionSet),
                         test::namedWithSet<Scan>([](const Scan& scan) {
                             return std::to_string(scan.stretches) + "_" + std::to_string(scan.count);
                         }));

} // namespace
} // namespace tessera

// The choice of instruction set: the one the library makes, and the one a run under an
// emulated processor expects (TESSERA_EXPECTED_INSTRUCTION_SET, set by those runs).
#include "instruction_sets.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace tessera {
namespace {

TEST(Dispatch, ChoosesTheBestBuildTheProcessorCanRun) {
    const InstructionSet chosen = activeInstructionSet();
    EXPECT_TRUE(canRun(chosen));
    for (int set = static_cast<int>(chosen) + 1; set < instructionSetCount; ++set)
        EXPECT_FALSE(canRun(static_cast<InstructionSet>(set)))
            << test::nameOf(static_cast<InstructionSet>(set));
    const char* expected = std::getenv("TESSERA_EXPECTED_INSTRUCTION_SET");
    if (expected != nullptr) {
        EXPECT_EQ(test::nameOf(chosen), expected);
    }
}

TEST(Dispatch, ForcingASetTheProcessorLacksChangesNothing) {
    // No processor runs every build: x86-64 has no WebAssembly, WebAssembly no AVX.
    const InstructionSet chosen = activeInstructionSet();
    int lacking = 0;
    while (lacking < instructionSetCount && canRun(static_cast<InstructionSet>(lacking)))
        ++lacking;
    ASSERT_LT(lacking, instructionSetCount);
    EXPECT_FALSE(forceInstructionSet(static_cast<InstructionSet>(lacking)));
    EXPECT_EQ(activeInstructionSet(), chosen);
}

} // namespace
} // namespace tessera

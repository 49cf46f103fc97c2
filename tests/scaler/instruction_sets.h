// The instruction sets the pass is built for, as a test parameter: each test of the pass
// forces the set's build before it runs, and is skipped where the processor lacks it.
#pragma once

#include "dispatch.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <tuple>

namespace tessera::test {

inline const auto everyInstructionSet = testing::Values(InstructionSet::Baseline, InstructionSet::Avx2,
                                                        InstructionSet::Avx512, InstructionSet::Simd128);

inline std::string nameOf(InstructionSet set) {
    return instructionSetNames[static_cast<int>(set)];
}

// Forces the set for the test and restores the choice the library made afterwards.
class ForcedInstructionSet {
public:
    explicit ForcedInstructionSet(InstructionSet set) : forced_(forceInstructionSet(set)) {}
    ~ForcedInstructionSet() { forceInstructionSet(chosen_); }
    ForcedInstructionSet(const ForcedInstructionSet&) = delete;
    ForcedInstructionSet& operator=(const ForcedInstructionSet&) = delete;
    bool forced() const { return forced_; }

private:
    InstructionSet chosen_ = activeInstructionSet();
    bool forced_;
};

// A test of the pass run once per instruction set with each of its own parameters: the
// set's build is forced for the test, which is skipped where the processor lacks it.
template <typename Param>
class OnEveryInstructionSet : public testing::TestWithParam<std::tuple<Param, InstructionSet>> {
protected:
    void SetUp() override {
        const InstructionSet set = std::get<1>(this->GetParam());
        forced_.emplace(set);
        if (!forced_->forced())
            GTEST_SKIP() << "this processor cannot run the " << nameOf(set) << " build";
    }
    const Param& param() const { return std::get<0>(this->GetParam()); }

private:
    std::optional<ForcedInstructionSet> forced_;
};

// Test names end in the set, so that a filter such as *avx2 picks one set's tests.
template <typename Param, typename NameOf>
auto namedWithSet(NameOf name) {
    return [name](const testing::TestParamInfo<std::tuple<Param, InstructionSet>>& info) {
        return name(std::get<0>(info.param)) + "_" + nameOf(std::get<1>(info.param));
    };
}

} // namespace tessera::test

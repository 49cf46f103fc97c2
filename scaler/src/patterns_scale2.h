// Factor 2: no pattern sets a cell outright; every touched cell is blended.
#pragma once

#include "output_block.h"
#include "pass_namespace.h"

namespace tessera::inline TESSERA_PASS_NAMESPACE {

template <>
struct FactorPatterns<2> {
    static constexpr PatternStep bothSlopes[] = {blend(1, 0, 1, 4), blend(0, 1, 1, 4), blend(1, 1, 5, 6)};
    static constexpr PatternStep shallowSlope[] = {blend(1, 0, 1, 4), blend(1, 1, 3, 4)};
    static constexpr PatternStep steepSlope[] = {blend(0, 1, 1, 4), blend(1, 1, 3, 4)};
    static constexpr PatternStep diagonal[] = {blend(1, 1, 1, 2)};
    static constexpr PatternStep corner[] = {blend(1, 1, 21, 100)};
};

} // namespace tessera::inline TESSERA_PASS_NAMESPACE

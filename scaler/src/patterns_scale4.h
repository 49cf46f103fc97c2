// Factor 4: the inner cell (2, 2) takes a third under BothSlopes, a quarter under
// the single slopes.
#pragma once

#include "output_block.h"
#include "pass_namespace.h"

namespace tessera::inline TESSERA_PASS_NAMESPACE {

template <>
struct FactorPatterns<4> {
    static constexpr PatternStep bothSlopes[] = {blend(3, 1, 3, 4), blend(1, 3, 3, 4), blend(3, 0, 1, 4),
                                                 blend(0, 3, 1, 4), blend(2, 2, 1, 3), set(2, 3),
                                                 set(3, 2),         set(3, 3)};
    static constexpr PatternStep shallowSlope[] = {blend(3, 0, 1, 4), blend(2, 2, 1, 4), blend(3, 1, 3, 4),
                                                   blend(2, 3, 3, 4), set(3, 2),         set(3, 3)};
    static constexpr PatternStep steepSlope[] = {blend(0, 3, 1, 4), blend(2, 2, 1, 4), blend(1, 3, 3, 4),
                                                 blend(3, 2, 3, 4), set(2, 3),         set(3, 3)};
    static constexpr PatternStep diagonal[] = {blend(3, 2, 1, 2), blend(2, 3, 1, 2), set(3, 3)};
    static constexpr PatternStep corner[] = {blend(3, 3, 68, 100), blend(3, 2, 9, 100), blend(2, 3, 9, 100)};
};

} // namespace tessera::inline TESSERA_PASS_NAMESPACE

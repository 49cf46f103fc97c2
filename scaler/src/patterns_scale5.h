// Factor 5: the centre cell (2, 2) is never named; BothSlopes ends with its inner
// cell (3, 3) at two thirds.
#pragma once

#include "output_block.h"
#include "pass_namespace.h"

namespace tessera::inline TESSERA_PASS_NAMESPACE {

template <>
struct FactorPatterns<5> {
    static constexpr PatternStep bothSlopes[] = {blend(0, 4, 1, 4), blend(2, 3, 1, 4), blend(1, 4, 3, 4),
                                                 blend(4, 0, 1, 4), blend(3, 2, 1, 4), blend(4, 1, 3, 4),
                                                 set(2, 4),         set(3, 4),         set(4, 2),
                                                 set(4, 3),         set(4, 4),         blend(3, 3, 2, 3)};
    static constexpr PatternStep shallowSlope[] = {blend(4, 0, 1, 4), blend(3, 2, 1, 4), blend(2, 4, 1, 4),
                                                   blend(4, 1, 3, 4), blend(3, 3, 3, 4), set(4, 2),
                                                   set(4, 3),         set(4, 4),         set(3, 4)};
    static constexpr PatternStep steepSlope[] = {blend(0, 4, 1, 4), blend(2, 3, 1, 4), blend(4, 2, 1, 4),
                                                 blend(1, 4, 3, 4), blend(3, 3, 3, 4), set(2, 4),
                                                 set(3, 4),         set(4, 4),         set(4, 3)};
    static constexpr PatternStep diagonal[] = {blend(4, 2, 1, 8), blend(3, 3, 1, 8), blend(2, 4, 1, 8),
                                               blend(4, 3, 7, 8), blend(3, 4, 7, 8), set(4, 4)};
    static constexpr PatternStep corner[] = {blend(4, 4, 86, 100), blend(4, 3, 23, 100),
                                             blend(3, 4, 23, 100)};
};

} // namespace tessera::inline TESSERA_PASS_NAMESPACE

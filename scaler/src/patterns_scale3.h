// Factor 3: the centre cell (1, 1) is never named, so it always keeps the source pixel.
#pragma once

#include "output_block.h"
#include "pass_namespace.h"

namespace tessera::inline TESSERA_PASS_NAMESPACE {

template <>
struct FactorPatterns<3> {
    static constexpr PatternStep bothSlopes[] = {blend(2, 0, 1, 4), blend(0, 2, 1, 4), blend(2, 1, 3, 4),
                                                 blend(1, 2, 3, 4), set(2, 2)};
    static constexpr PatternStep shallowSlope[] = {blend(2, 0, 1, 4), blend(1, 2, 1, 4), blend(2, 1, 3, 4),
                                                   set(2, 2)};
    static constexpr PatternStep steepSlope[] = {blend(0, 2, 1, 4), blend(2, 1, 1, 4), blend(1, 2, 3, 4),
                                                 set(2, 2)};
    static constexpr PatternStep diagonal[] = {blend(1, 2, 1, 8), blend(2, 1, 1, 8), blend(2, 2, 7, 8)};
    static constexpr PatternStep corner[] = {blend(2, 2, 45, 100)};
};

} // namespace tessera::inline TESSERA_PASS_NAMESPACE

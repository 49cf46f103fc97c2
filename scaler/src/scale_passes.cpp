// The whole pass, both modes and every factor, built for the instruction set of this
// translation unit's flags (pass_namespace.h): the library compiles this file, with the
// files of the pass it calls, once per set it carries (scaler/CMakeLists.txt).
#include "colour_rules.h"
#include "dispatch.h"
#include "scale_pass.h"

namespace tessera {

template <>
const PassTable& passesBuiltFor<TESSERA_PASS_INSTRUCTION_SET>() {
    static constexpr PassTable table{
        {scalePass<OpaqueColours, 2>, scalePass<OpaqueColours, 3>, scalePass<OpaqueColours, 4>,
         scalePass<OpaqueColours, 5>},
        {scalePass<AlphaColours, 2>, scalePass<AlphaColours, 3>, scalePass<AlphaColours, 4>,
         scalePass<AlphaColours, 5>},
        listByCode,
        listAbove,
    };
    return table;
}

} // namespace tessera

// The settings reader on arbitrary file content: whatever the bytes, the editor gets a usable
// palette, 2 to 256 entries, every one of them opaque.
#include "fuzz_check.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <tessera/editor/settings.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream file{std::string(reinterpret_cast<const char*>(data), size)};
    const EditorSettings settings = readSettings(file);

    fuzz::require(settings.paletteCount >= 2 && settings.paletteCount <= maxPaletteCount,
                  "paletteCount lies between 2 and 256");
    fuzz::require(std::all_of(settings.palette.begin(), settings.palette.end(),
                              [](const Colour& c) { return c.a == 255; }),
                  "every palette entry is opaque");
    // Entries past the count are never offered; they stay the opaque black the header promises.
    fuzz::require(std::all_of(settings.palette.begin() + settings.paletteCount, settings.palette.end(),
                              [](const Colour& c) { return c == opaqueBlack; }),
                  "entries past paletteCount are opaque black");
    return 0;
}

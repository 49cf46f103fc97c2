#include "shown_names.h"

#include <cstdint>
#include <string_view>

namespace tessera::tool {
namespace {

// The length of the UTF-8 character of printable text that starts at `at`, or 0 when the byte
// there must be escaped: not UTF-8 (a stray continuation byte, an overlong form, a surrogate, past
// U+10FFFF) or a C1 control (U+0080 to U+009F), which some terminals obey as they do ESC [.
std::size_t printableCharacter(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint8_t>(text[i]);
    };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    std::uint8_t low = 0x80; // the bounds of the second byte; those after it are 0x80 to 0xBF
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        low = lead == 0xC2 ? 0xA0 : 0x80; // U+0080 to U+009F are the C1 controls
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = at + 2; i < at + length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

} // namespace

std::string shownName(const std::filesystem::path& path) {
    const std::string_view name = path.native();
    constexpr char hexDigits[] = "0123456789abcdef";
    std::string shown = "'";
    for (std::size_t at = 0; at < name.size();) {
        const auto byte = static_cast<std::uint8_t>(name[at]);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            shown += name[at++];
        } else if (const std::size_t length = byte >= 0x80 ? printableCharacter(name, at) : 0) {
            shown += name.substr(at, length);
            at += length;
        } else {
            if (byte == '\n')
                shown += "\\n";
            else if (byte == '\r')
                shown += "\\r";
            else if (byte == '\t')
                shown += "\\t";
            else if (byte == '\\')
                shown += "\\\\";
            else
                shown += {'\\', 'x', hexDigits[byte >> 4], hexDigits[byte & 0xF]};
            ++at;
        }
    }
    return shown + "'";
}

} // namespace tessera::tool

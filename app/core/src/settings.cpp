#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <tessera/editor/settings.h>
#include <vector>

namespace {

// White space as the classic locale knows it: space, tab, line feed, vertical tab, form feed,
// carriage return.
bool isSpace(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(int c) {
    return c >= '0' && c <= '9';
}

// Accumulates decimal digits into a 64-bit value that stops growing once it has left the 32-bit
// range, so a run of any length neither overflows nor comes back into range.
struct DigitRun {
    std::int64_t magnitude = 0;
    bool any = false;

    void add(int digit) {
        any = true;
        if (magnitude <= std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            magnitude = magnitude * 10 + digit;
    }

    std::optional<std::int32_t> value(bool negative) const {
        if (!any)
            return std::nullopt;
        const std::int64_t v = negative ? -magnitude : magnitude;
        if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
        return static_cast<std::int32_t>(v);
    }
};

// A formatted decimal read from the stream: skips white space (line breaks included), takes an
// optional sign and the digits after it, and stops before the first other character.
std::optional<std::int32_t> readHeaderValue(std::istream& in) {
    using Traits = std::istream::traits_type;
    while (isSpace(in.peek()))
        in.get();
    bool negative = false;
    if (const int c = in.peek(); c == '+' || c == '-') {
        negative = c == '-';
        in.get();
    }
    DigitRun digits;
    for (int c = in.peek(); c != Traits::eof() && isDigit(c); c = in.peek()) {
        digits.add(c - '0');
        in.get();
    }
    return digits.value(negative);
}

// The integer at the start of a palette field: white space, an optional sign, at least one
// digit; whatever follows the digits is ignored.
std::optional<std::int32_t> convertField(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && isSpace(static_cast<unsigned char>(field[i])))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    DigitRun digits;
    for (; i < field.size() && isDigit(field[i]); ++i)
        digits.add(field[i] - '0');
    return digits.value(negative);
}

// The colour a palette line adds, if any. Every field is converted, those past the third too,
// so one refused field anywhere makes the whole line add nothing.
std::optional<Colour> parsePaletteLine(std::string_view line) {
    if (!line.empty() && line.front() == '#')
        return std::nullopt;
    std::vector<std::int32_t> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t comma = line.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
        const std::optional<std::int32_t> value = convertField(line.substr(start, end - start));
        if (!value)
            return std::nullopt;
        fields.push_back(*value);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (fields.size() < 3)
        return std::nullopt;
    // The low 8 bits, so -1 gives 255 and 300 gives 44.
    return Colour{static_cast<std::uint8_t>(fields[0]), static_cast<std::uint8_t>(fields[1]),
                  static_cast<std::uint8_t>(fields[2]), 255};
}

} // namespace

EditorSettings readSettings(std::istream& in) {
    EditorSettings settings;
    for (std::int32_t* field : {&settings.windowSize, &settings.scaleFactor, &settings.zoom}) {
        const std::optional<std::int32_t> value = readHeaderValue(in);
        if (!value)
            return settings;
        *field = *value;
    }

    Palette palette{};
    std::int32_t count = 0;
    std::string line;
    while (count < maxPaletteCount && std::getline(in, line)) {
        // Without eof the line ended at a line feed, so a carriage return before it is part of
        // the line ending; a last line without a line feed keeps all its characters.
        if (!in.eof() && !line.empty() && line.back() == '\r')
            line.pop_back();
        if (const std::optional<Colour> colour = parsePaletteLine(line))
            palette[static_cast<std::size_t>(count++)] = *colour;
    }
    if (count >= minPaletteCount) {
        settings.palette = palette;
        settings.paletteCount = count;
    }
    return settings;
}

// Image files built byte by byte: headers that declare any size at all, with no pixel data behind
// them, and small complete images of the formats and layouts stb_image_write cannot write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessera::test {

inline void appendBigEndian(std::string& bytes, std::uint32_t value, int size) {
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        bytes += static_cast<char>(value >> shift & 0xFF);
}

inline void appendLittleEndian(std::string& bytes, std::uint32_t value, int size) {
    for (int shift = 0; shift < 8 * size; shift += 8)
        bytes += static_cast<char>(value >> shift & 0xFF);
}

// Signature and IHDR (with a CRC the decoder does not check). Colour type 6 is RGBA.
inline std::string pngHeader(std::uint32_t width, std::uint32_t height, int bitDepth = 8,
                             int colourType = 6) {
    std::string bytes{"\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16};
    appendBigEndian(bytes, width, 4);
    appendBigEndian(bytes, height, 4);
    bytes += {static_cast<char>(bitDepth), static_cast<char>(colourType), 0, 0, 0};
    bytes += std::string(4, '\0');
    return bytes;
}

// Uncompressed 24-bit true colour.
inline std::string tgaHeader(std::uint16_t width, std::uint16_t height) {
    std::string bytes{"\0\0\x02\0\0\0\0\0\0\0\0\0", 12};
    appendLittleEndian(bytes, width, 2);
    appendLittleEndian(bytes, height, 2);
    bytes += {24, 0};
    return bytes;
}

// File header and a 40-byte info header for 24-bit uncompressed rows.
inline std::string bmpHeader(std::uint32_t width, std::uint32_t height) {
    std::string bytes{"BM"};
    appendLittleEndian(bytes, 54, 4); // file size, which the decoder ignores
    appendLittleEndian(bytes, 0, 4);
    appendLittleEndian(bytes, 54, 4); // offset of the pixels
    appendLittleEndian(bytes, 40, 4);
    appendLittleEndian(bytes, width, 4);
    appendLittleEndian(bytes, height, 4);
    appendLittleEndian(bytes, 1, 2);  // planes
    appendLittleEndian(bytes, 24, 2); // bits per pixel
    bytes += std::string(24, '\0');   // no compression, sizes and palette left to the decoder
    return bytes;
}

// The logical screen, whose size is the decoded image's.
inline std::string gifHeader(std::uint16_t width, std::uint16_t height) {
    std::string bytes{"GIF89a"};
    appendLittleEndian(bytes, width, 2);
    appendLittleEndian(bytes, height, 2);
    bytes += std::string(3, '\0');
    return bytes;
}

// RGB, three channels of 8 bits.
inline std::string psdHeader(std::uint32_t width, std::uint32_t height) {
    std::string bytes{"8BPS\0\x01", 6};
    bytes += std::string(6, '\0');
    appendBigEndian(bytes, 3, 2);
    appendBigEndian(bytes, height, 4);
    appendBigEndian(bytes, width, 4);
    appendBigEndian(bytes, 8, 2);
    appendBigEndian(bytes, 3, 2);
    return bytes;
}

// Start of image and a baseline frame header with one component.
inline std::string jpegHeader(std::uint16_t width, std::uint16_t height) {
    std::string bytes{"\xFF\xD8\xFF\xC0\0\x0B\x08", 7};
    appendBigEndian(bytes, height, 2);
    appendBigEndian(bytes, width, 2);
    bytes += {1, 1, 0x11, 0};
    return bytes;
}

// A segment of one Huffman table with `codes` codes, 255 of 8 bits and the rest of 9, of value 0.
inline std::string jpegHuffmanTable(std::uint32_t codes) {
    std::string bytes{"\xFF\xC4"};
    appendBigEndian(bytes, 2 + 17 + codes, 2);
    bytes +=
        std::string(8, '\0') + static_cast<char>(255) + static_cast<char>(codes - 255) + std::string(7, '\0');
    return bytes + std::string(codes, '\0');
}

// A scan of the one component, with some coded data holding a stuffed 0xFF.
inline std::string jpegScan() {
    return std::string{"\xFF\xDA\0\x08\x01\x01\0\0\x3F\0\x12\x34\xFF\0\x56", 15};
}

inline std::string ppmHeader(std::uint32_t width, std::uint32_t height, int maximum = 255) {
    return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n" + std::to_string(maximum) +
           "\n";
}

inline std::string hdrHeader(std::uint32_t width, std::uint32_t height) {
    return "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(height) + " +X " +
           std::to_string(width) + "\n";
}

// Magic, version and comment, "PICT", the size, then one uncompressed packet of red, green and
// blue. The decoder takes the header only when some pixel data follows.
inline std::string picHeader(std::uint16_t width, std::uint16_t height) {
    std::string bytes{"\x53\x80\xF6\x34"};
    bytes += std::string(84, '\0');
    bytes += "PICT";
    appendBigEndian(bytes, width, 2);
    appendBigEndian(bytes, height, 2);
    bytes += std::string(8, '\0'); // pixel ratio, fields, padding
    bytes += {0, 8, 0, '\xE0'};    // last packet, 8 bits, uncompressed, R G B
    return bytes;
}

// Small complete images of `width` x `rgb.size() / 3 / width` pixels, given as red, green, blue bytes.

inline std::string ppmImage(std::uint32_t width, const std::vector<std::uint8_t>& rgb) {
    const auto height = static_cast<std::uint32_t>(rgb.size() / 3 / width);
    return ppmHeader(width, height) + std::string(rgb.begin(), rgb.end());
}

// Empty colour mode, resource and layer sections, then raw planes of red, green and blue.
inline std::string psdImage(std::uint32_t width, const std::vector<std::uint8_t>& rgb) {
    const auto pixels = rgb.size() / 3;
    std::string bytes = psdHeader(width, static_cast<std::uint32_t>(pixels / width)) + std::string(14, '\0');
    for (std::size_t channel = 0; channel < 3; ++channel)
        for (std::size_t i = 0; i < pixels; ++i)
            bytes += static_cast<char>(rgb[3 * i + channel]);
    return bytes;
}

// Flat RGBE pixels (rows narrower than 8 are never run-length coded), all with exponent 128:
// each channel is its byte / 256.
inline std::string hdrImage(std::uint32_t width, const std::vector<std::uint8_t>& rgb) {
    std::string bytes = hdrHeader(width, static_cast<std::uint32_t>(rgb.size() / 3 / width));
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        bytes += {static_cast<char>(rgb[i]), static_cast<char>(rgb[i + 1]), static_cast<char>(rgb[i + 2]),
                  static_cast<char>(128)};
    return bytes;
}

inline std::string picImage(std::uint16_t width, const std::vector<std::uint8_t>& rgb) {
    return picHeader(width, static_cast<std::uint16_t>(rgb.size() / 3 / width)) +
           std::string(rgb.begin(), rgb.end());
}

// A chunk with a CRC the decoder does not check.
inline std::string pngChunk(const char* type, const std::string& data) {
    std::string bytes;
    appendBigEndian(bytes, static_cast<std::uint32_t>(data.size()), 4);
    return bytes + type + data + std::string(4, '\0');
}

// `rows` as a zlib stream of one stored (uncompressed) deflate block.
inline std::string storedZlib(const std::string& rows) {
    std::string data{"\x78\x01\x01"}; // zlib header, final stored block
    appendLittleEndian(data, static_cast<std::uint32_t>(rows.size()), 2);
    appendLittleEndian(data, ~static_cast<std::uint32_t>(rows.size()), 2);
    return data + rows + std::string(4, '\0');
}

// A complete PNG of rows already in the file's layout, each behind its filter byte, in one stored
// (uncompressed) deflate block, with `chunks` between the header and the data; the
// decoder checks neither the CRCs nor the Adler-32.
inline std::string pngImage(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType,
                            const std::string& rows, const std::string& chunks = "") {
    return pngHeader(width, height, bitDepth, colourType) + chunks + pngChunk("IDAT", storedZlib(rows)) +
           pngChunk("IEND", "");
}

// 16-bit RGB, each sample its byte twice.
inline std::string png16Image(std::uint32_t width, const std::vector<std::uint8_t>& rgb) {
    const auto height = static_cast<std::uint32_t>(rgb.size() / 3 / width);
    std::string rows;
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        if (i % (3 * width) == 0)
            rows += '\0'; // no filter
        rows += {static_cast<char>(rgb[i]), static_cast<char>(rgb[i])};
    }
    return pngImage(width, height, 16, 2, rows);
}

// 8-bit palette indices, with a transparency chunk giving the alpha of each entry. `palette` holds
// red, green, blue and alpha per entry.
inline std::string palettePngImage(std::uint32_t width, const std::vector<std::uint8_t>& indices,
                                   const std::vector<std::uint8_t>& palette) {
    std::string rows;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % width == 0)
            rows += '\0';
        rows += static_cast<char>(indices[i]);
    }
    std::string colours;
    std::string alphas;
    for (std::size_t i = 0; i < palette.size(); i += 4) {
        colours.append(reinterpret_cast<const char*>(&palette[i]), 3);
        alphas += static_cast<char>(palette[i + 3]);
    }
    return pngImage(width, static_cast<std::uint32_t>(indices.size() / width), 8, 3, rows,
                    pngChunk("PLTE", colours) + pngChunk("tRNS", alphas));
}

// A GIF frame of one palette index over its rectangle: 0 black, 1 blue, 2 red, 3 green.
struct GifFrame {
    std::uint16_t x = 0, y = 0, width = 4, height = 4;
    std::uint8_t index = 1;
    std::uint8_t disposal = 1; // 1 keep, 2 clear to background, 3 restore the previous canvas
    int transparent = -1;
};

// The frame's image data with a minimum code size of 8, every index a literal 9-bit code, and a
// clear code every 254 codes so that the code table never needs a tenth bit.
inline std::string gifImageData(std::size_t count, std::uint8_t index) {
    constexpr std::uint32_t clearCode = 256, endCode = 257;
    std::vector<std::uint32_t> codes{clearCode};
    for (std::size_t i = 0; i < count; ++i) {
        codes.push_back(index);
        if (i % 254 == 253)
            codes.push_back(clearCode);
    }
    codes.push_back(endCode);
    std::string data;
    std::uint64_t bits = 0;
    int held = 0;
    for (const std::uint32_t code : codes) {
        bits |= std::uint64_t{code} << held;
        for (held += 9; held >= 8; held -= 8, bits >>= 8)
            data += static_cast<char>(bits & 0xFF);
    }
    if (held > 0)
        data += static_cast<char>(bits & 0xFF);
    std::string blocks{8};
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::string block = data.substr(at, 255);
        blocks += static_cast<char>(block.size()) + block;
    }
    return blocks + '\0';
}

// A GIF of a 4 x 4 screen with a global palette of 256 colours, each frame shown 7/100 s.
inline std::string gifOf(const std::vector<GifFrame>& frames) {
    std::string bytes = gifHeader(4, 4);
    bytes[10] = static_cast<char>(0xF7);
    std::string palette(256 * 3, '\0');
    palette.replace(3, 9, std::string{0, 0, '\xFF', '\xFF', 0, 0, 0, '\xFF', 0});
    bytes += palette;
    for (const GifFrame& frame : frames) {
        bytes += {'\x21',
                  '\xF9',
                  4,
                  static_cast<char>(frame.disposal << 2 | (frame.transparent >= 0)),
                  7,
                  0,
                  static_cast<char>(frame.transparent < 0 ? 0 : frame.transparent),
                  0,
                  ','};
        for (const std::uint16_t value : {frame.x, frame.y, frame.width, frame.height})
            appendLittleEndian(bytes, value, 2);
        bytes += '\0';
        bytes += gifImageData(std::size_t{frame.width} * frame.height, frame.index);
    }
    return bytes + ';';
}

} // namespace tessera::test

#include "still_decoder.h"

#include "png_chunks.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

// The decoder is Debian's stb_image 2.27, compiled here alone, with static linkage so that no
// symbol can meet the older copy inside SFML, and without file I/O or the failure strings, which
// this code never reads. SFML's copy is not used for decoding: it inflates some damaged PNGs
// without end.
//
// No lock is needed around the decoder. Its only state written while decoding is the failure
// reason, which is thread-local in C++ (and without the failure strings hardly written at all);
// the settings it keeps globally (flipping, unpremultiplying) are never changed here.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
// The uncompressed TGA reader ignores a short read and leaves the pixels it did not fill as they
// were allocated: zeroed, so that they could never show whatever the memory last held, although a
// cut file is refused before decoding (pixelsPresent).
#define STBI_MALLOC(size) std::calloc(1, size)
#define STBI_REALLOC(pointer, size) std::realloc(pointer, size)
#define STBI_FREE(pointer) std::free(pointer)
// The still formats pixel art is kept and exchanged in, and no other (GIF has a decoder of its
// own, which reads its animations too): the decoder's Photoshop reader
// takes only the flattened composite, its HDR reader tone-maps, and its PIC and PNM readers serve
// formats no sprite comes in, so each would be untested surface for hostile files.
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#include <stb/stb_image.h>

namespace tessera::codecs {
namespace {

// Whether every Huffman table of a JPEG holds at most the 256 codes a table can have. The decoder
// (stb_image 2.27, and the copy inside SFML) builds each table into arrays of 256 before checking its counts,
// so a table declaring more writes past them. Segments are walked as the decoder finds them, and every table
// it could reach is checked: between segments it skips padding up to an 0xFF, and a scan's coded data runs to
// the first 0xFF not followed by 0x00 (stuffing), a restart marker or another 0xFF.
bool huffmanTablesFit(std::span<const std::uint8_t> file) {
    const auto bigEndian = [&](std::size_t at) {
        return std::size_t{file[at]} << 8 | file[at + 1];
    };
    std::size_t at = 2; // past the start-of-image marker
    while (at < file.size()) {
        while (at < file.size() && file[at] != 0xFF)
            ++at;
        while (at < file.size() && file[at] == 0xFF)
            ++at;
        if (at + 3 > file.size())
            return true;
        const std::uint8_t marker = file[at++];
        if (marker == 0xD9) // end of image
            return true;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // no segment follows
        const std::size_t end = at + bigEndian(at);
        if (marker == 0xC4)
            for (std::size_t table = at + 2; table < std::min(end, file.size());) {
                // Past the end of the file the decoder reads zeros.
                std::size_t codes = 0;
                for (std::size_t count = table + 1; count <= table + 16 && count < file.size(); ++count)
                    codes += file[count];
                if (codes > 256)
                    return false;
                table += 17 + codes;
            }
        at = end;
        if (marker == 0xDA) // start of scan: skip the coded data
            while (at + 1 < file.size() &&
                   (file[at] != 0xFF || file[at + 1] == 0x00 || file[at + 1] == 0xFF ||
                    (file[at + 1] >= 0xD0 && file[at + 1] <= 0xD7)))
                ++at;
    }
    return true;
}

// Whether every IDAT chunk of a PNG lies within the file, the first one holding data. The decoder
// grows its buffer for a chunk's compressed data to the length the chunk declares before reading
// the data, so a chunk declaring a gigabyte in a small file would have it allocate that much first.
// Before the first chunk with data it has no buffer at all, and an empty first chunk would have it
// copy nothing to a null pointer, which is undefined.
// Chunks are walked as the decoder reads them, each its declared length plus 12 bytes, up to IEND.
bool pngDataChunksFit(std::span<const std::uint8_t> file) {
    const auto bigEndian = [&](std::size_t at) {
        return std::uint64_t{file[at]} << 24 | std::uint64_t{file[at + 1]} << 16 |
               std::uint64_t{file[at + 2]} << 8 | file[at + 3];
    };
    constexpr std::size_t signature = 8;
    bool data = false; // an IDAT chunk came before
    for (std::uint64_t at = signature; at + 8 <= file.size();) {
        const std::uint64_t length = bigEndian(at);
        const std::span<const std::uint8_t> type = file.subspan(at + 4, 4);
        if (std::equal(type.begin(), type.end(), "IEND"))
            return true;
        if (std::equal(type.begin(), type.end(), "IDAT")) {
            if (at + 8 + length > file.size() || (length == 0 && !data))
                return false;
            data = true;
        }
        at += 12 + length;
    }
    return true;
}

// Where a JPEG's start-of-image marker is: the decoder finds it after any number of 0xFF fill
// bytes. Nothing when the file is no JPEG.
std::optional<std::size_t> jpegStart(std::span<const std::uint8_t> bytes) {
    const auto marker = std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0xFF; });
    if (marker == bytes.begin() || marker == bytes.end() || *marker != 0xD8)
        return std::nullopt;
    return static_cast<std::size_t>(marker - bytes.begin()) - 1;
}

// Whether the decoder may be given the file at all: its length must fit the decoder's int, and a
// JPEG's Huffman tables must fit their arrays, as its header parser builds them too, and a PNG's
// compressed data must be in the file.
bool decoderMayRead(std::span<const char> file) {
    if (file.size() > INT_MAX)
        return false;
    const std::span<const std::uint8_t> bytes{reinterpret_cast<const std::uint8_t*>(file.data()),
                                              file.size()};
    if (const std::optional<std::size_t> start = jpegStart(bytes))
        return huffmanTablesFit(bytes.subspan(*start));
    return !isPng(bytes) || pngDataChunksFit(bytes);
}

// The size a PNG's header chunk declares, read directly: the decoder's own header reader refuses
// any image whose samples pass 1 GiB (46340 x 46340 in RGBA, 2^15 x 2^15 already in 1-bit grey)
// as if it were no PNG, where such a file is only too large. The fields are checked as the
// decoder checks them, so that a damaged header still declares nothing.
std::optional<DeclaredImage> pngHeaderSize(std::span<const std::uint8_t> file) {
    PngChunkReader reader{file};
    const std::optional<PngChunk> header = nextChunk(reader);
    if (!header || header->type != "IHDR" || header->data.size() != 13)
        return std::nullopt;
    const std::span<const std::uint8_t> fields = header->data;
    const std::uint32_t width = wordAt(fields, 0);
    const std::uint32_t height = wordAt(fields, 4);
    const std::uint8_t depth = fields[8];
    const std::uint8_t colour = fields[9];
    // Grey takes every depth; palette indices up to 8 bits; the others 8 or 16.
    const bool depthFits = colour == 0 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)
                           : colour == 3
                               ? (depth == 1 || depth == 2 || depth == 4 || depth == 8)
                               : (colour == 2 || colour == 4 || colour == 6) && (depth == 8 || depth == 16);
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX || !depthFits ||
        fields[10] != 0 || fields[11] != 0 || fields[12] > 1)
        return std::nullopt;
    return DeclaredImage{width, height, depth == 16 ? 8u : 4u};
}

// Whether the pixel data an uncompressed BMP declares is all in the file. The decoder reads past
// the end as zeros, so a cut file would come out with black rows. Its rows start at the header's
// pixel offset (the decoder insists on that offset for 16 bits and more, and reads the palette up
// to it below), each padded to 4 bytes; the last row's padding may be missing. Compressed BMPs
// are refused by the decoder itself.
bool bmpPixelsPresent(std::span<const std::uint8_t> file, const DeclaredImage& size) {
    const auto littleEndian = [&](std::size_t at, int bytes) {
        std::uint64_t value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = value << 8 | file[at + static_cast<std::size_t>(i)];
        return value;
    };
    if (file.size() < 30)
        return false;
    const std::uint64_t offset = littleEndian(10, 4);
    const std::uint64_t headerSize = littleEndian(14, 4);
    const std::uint64_t bitsPerPixel = littleEndian(headerSize == 12 ? 24 : 28, 2);
    const std::uint64_t rowBytes = (size.width * bitsPerPixel + 7) / 8;
    const std::uint64_t stride = (size.width * bitsPerPixel + 31) / 32 * 4;
    return size.height == 0 || offset + (size.height - 1) * stride + rowBytes <= file.size();
}

// Whether the pixel data a TGA declares is all in the file: uncompressed, width x height pixels;
// run-length coded, packets walked as the decoder reads them, each a count byte followed by one
// pixel to repeat or by that many pixels. The decoder reads past the end as zeros. The data
// starts after the header, the image identifier and, for colour-mapped images, the decoder's
// skip of the first entry's index and the colour map.
bool tgaPixelsPresent(std::span<const std::uint8_t> file, const DeclaredImage& size) {
    if (file.size() < 18)
        return false;
    const std::uint64_t indexed = file[1];
    const bool runLengths = file[2] >= 8;
    const std::uint64_t mapStart = file[3] | std::uint64_t{file[4]} << 8;
    const std::uint64_t mapLength = file[5] | std::uint64_t{file[6]} << 8;
    const std::uint64_t entryBytes = (file[7] + 7u) / 8;
    const std::uint64_t pixelBytes = (file[16] + 7u) / 8;
    std::uint64_t at = 18 + file[0] + (indexed != 0 ? mapStart + mapLength * entryBytes : 0);
    const std::uint64_t pixels = std::uint64_t{size.width} * size.height;
    if (!runLengths)
        return at + pixels * pixelBytes <= file.size();
    for (std::uint64_t left = pixels; left > 0;) {
        if (at >= file.size())
            return false;
        const std::uint8_t packet = file[at++];
        const std::uint64_t count = std::min<std::uint64_t>(1 + (packet & 0x7F), left);
        at += (packet & 0x80) != 0 ? pixelBytes : count * pixelBytes;
        left -= count;
    }
    return at <= file.size();
}

// Whether the pixels a BMP or TGA declares are in the file; the other formats' decoders see the
// end of their data themselves. A file the decoder takes that is neither PNG, JPEG nor BMP is a
// TGA, the one format without a signature.
bool pixelsPresent(std::span<const char> file, const DeclaredImage& size) {
    const std::span<const std::uint8_t> bytes{reinterpret_cast<const std::uint8_t*>(file.data()),
                                              file.size()};
    if (isPng(bytes) || jpegStart(bytes))
        return true;
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return bmpPixelsPresent(bytes, size);
    return tgaPixelsPresent(bytes, size);
}

Failure unreadable() {
    return {Step::Read, std::string{unreadableImage}};
}

} // namespace

Result<DeclaredImage> readDeclaredStill(std::span<const char> file) {
    if (!decoderMayRead(file))
        return unreadable();
    const auto* bytes = reinterpret_cast<const stbi_uc*>(file.data());
    const auto length = static_cast<int>(file.size());
    int width = 0;
    int height = 0;
    int channels = 0;
    if (stbi_info_from_memory(bytes, length, &width, &height, &channels) == 0) {
        const std::span<const std::uint8_t> unsignedBytes{bytes, file.size()};
        if (std::optional<DeclaredImage> png =
                isPng(unsignedBytes) ? pngHeaderSize(unsignedBytes) : std::nullopt)
            return *png;
        return unreadable();
    }
    // Sides that do not fit an int arrive here negative. An empty image goes on, to be refused as
    // empty.
    if (width < 0 || height < 0)
        return unreadable();
    const std::uint32_t bytesPerPixel = stbi_is_16_bit_from_memory(bytes, length) != 0 ? 8 : 4;
    return DeclaredImage{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                         bytesPerPixel};
}

SizeJudge withinPixels(std::uint64_t maxPixels) {
    return [maxPixels](std::uint32_t width, std::uint32_t height) -> Result<> {
        if (std::uint64_t{width} * height <= maxPixels)
            return {};
        return Failure{Step::Enlarge, "the image is too large: " + std::to_string(width) + " x " +
                                          std::to_string(height) + " is more than " +
                                          std::to_string(maxPixels) + " pixels"};
    };
}

Result<DecodedImage> decodeStill(std::span<const char> file, const SizeJudge& judge) {
    static_assert(std::is_same_v<stbi_uc, std::uint8_t>, "the decoder's bytes are handed on as they are");
    Result<DeclaredImage> declared = readDeclaredStill(file);
    if (const Failure* failure = std::get_if<Failure>(&declared))
        return *failure;
    const DeclaredImage& size = std::get<DeclaredImage>(declared);
    if (Result<> judged = judge(size.width, size.height);
        const Failure* failure = std::get_if<Failure>(&judged))
        return *failure;
    // The judge has kept both sides small enough for this not to overflow.
    const std::uint64_t decoderBytes = std::uint64_t{size.width} * size.height * size.decoderBytesPerPixel;
    if (decoderBytes > maxDecoderBytes) {
        constexpr std::uint64_t mebibyte = std::uint64_t{1} << 20;
        return Failure{Step::Enlarge, "the image is too large to decode: " + std::to_string(size.width) +
                                          " x " + std::to_string(size.height) + " needs " +
                                          std::to_string((decoderBytes + mebibyte - 1) / mebibyte) +
                                          " MiB to decode, more than the limit of " +
                                          std::to_string(maxDecoderBytes / mebibyte) + " MiB"};
    }
    if (!pixelsPresent(file, size))
        return unreadable();
    int width = 0;
    int height = 0;
    int channels = 0;
    const std::unique_ptr<stbi_uc, void (*)(void*)> pixels{
        stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(file.data()), static_cast<int>(file.size()),
                              &width, &height, &channels, STBI_rgb_alpha),
        stbi_image_free};
    // Only an image of the size judged above may go on; the check on it holds for no other.
    if (!pixels || width <= 0 || height <= 0 || static_cast<std::uint32_t>(width) != size.width ||
        static_cast<std::uint32_t>(height) != size.height)
        return unreadable();
    const std::size_t bytes = std::size_t{size.width} * size.height * 4;
    return DecodedImage{size.width, size.height, {pixels.get(), pixels.get() + bytes}};
}

} // namespace tessera::codecs

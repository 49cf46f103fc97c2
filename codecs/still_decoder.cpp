#include "still_decoder.h"

#include "png_chunks.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
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
// were allocated: zeroed, those pixels come out black instead of as whatever the memory last held.
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

// Whether the decoder may be given the file at all: its length must fit the decoder's int, and a
// JPEG's Huffman tables must fit their arrays, as its header parser builds them too, and a PNG's
// compressed data must be in the file.
bool decoderMayRead(std::span<const char> file) {
    if (file.size() > INT_MAX)
        return false;
    const std::span<const std::uint8_t> bytes{reinterpret_cast<const std::uint8_t*>(file.data()),
                                              file.size()};
    // The decoder finds a JPEG's start-of-image marker after any number of 0xFF fill bytes.
    const auto marker = std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0xFF; });
    const bool jpeg = marker != bytes.begin() && marker != bytes.end() && *marker == 0xD8;
    if (jpeg)
        return huffmanTablesFit(bytes.subspan(static_cast<std::size_t>(marker - bytes.begin()) - 1));
    return !isPng(bytes) || pngDataChunksFit(bytes);
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
    if (stbi_info_from_memory(bytes, length, &width, &height, &channels) == 0)
        return unreadable();
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

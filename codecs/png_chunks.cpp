#include "png_chunks.h"

#include <algorithm>
#include <libdeflate.h>

namespace tessera::codecs {

bool isPng(std::span<const std::uint8_t> file) {
    return file.size() >= sizeof pngSignature &&
           std::equal(std::begin(pngSignature), std::end(pngSignature), file.begin());
}

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
    return libdeflate_crc32(crc, bytes.data(), bytes.size());
}

namespace {

// The CRC's polynomial, bits reversed as the CRC takes them.
constexpr std::uint32_t crcPolynomial = 0xEDB88320;

// a * b modulo the polynomial, both read with their highest power in bit 0.
std::uint32_t multiplyModulo(std::uint32_t a, std::uint32_t b) {
    std::uint32_t product = 0;
    for (std::uint32_t bit = 1U << 31; bit != 0; bit >>= 1) {
        if ((a & bit) != 0)
            product ^= b;
        b = (b & 1) != 0 ? (b >> 1) ^ crcPolynomial : b >> 1;
    }
    return product;
}

// x to the power 8 * bytes modulo the polynomial: what appending that many zero bytes multiplies
// a CRC by. Squaring gives x^(2^k), one factor per bit of the count.
std::uint32_t zeroBytesFactor(std::uint64_t bytes) {
    std::uint32_t factor = 1U << 31; // 1
    std::uint32_t power = 1U << 30;  // x
    for (int k = 0; k < 3; ++k)
        power = multiplyModulo(power, power); // x^8: one byte
    for (; bytes != 0; bytes >>= 1) {
        if ((bytes & 1) != 0)
            factor = multiplyModulo(factor, power);
        power = multiplyModulo(power, power);
    }
    return factor;
}

} // namespace

std::uint32_t crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength) {
    return multiplyModulo(zeroBytesFactor(secondLength), first) ^ second;
}

void putChunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> data) {
    putWord(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    putWord(out, crc32(std::span{out}.subspan(typeAt)));
}

std::optional<PngChunk> nextChunk(PngChunkReader& reader) {
    const std::span<const std::uint8_t> file = reader.file;
    if (reader.at + 12 > file.size())
        return std::nullopt;
    const std::uint64_t length = wordAt(file, reader.at);
    if (length > file.size() - reader.at - 12)
        return std::nullopt;
    const PngChunk chunk{{reinterpret_cast<const char*>(&file[reader.at + 4]), 4},
                         file.subspan(reader.at + 8, length)};
    reader.at += 12 + length;
    return chunk;
}

} // namespace tessera::codecs

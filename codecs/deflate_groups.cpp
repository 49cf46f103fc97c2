// The native deflate backend: libdeflate, one compressor per thread and level, kept for the
// thread's life so that many small images pay its set-up once.
//
// libdeflate compresses a whole buffer at a time and always ends with a final block, padded to a
// byte: it has no flush that leaves a stream open. A group that another follows is therefore
// walked block by block, from the first header to the last block's end-of-block code, which
// gives the bit that marks that block final and the bit where the stream really ends. The mark
// is cleared and an empty stored block appended, which ends the group on a byte boundary exactly
// as a sync flush would.
#include "deflate_groups.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <new>
#include <stdexcept>

namespace tessera::codecs {
namespace {

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

libdeflate_compressor& compressorFor(int level) {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
    thread_local int compressorLevel = 0;
    if (!compressor || compressorLevel != level) {
        compressor.reset(libdeflate_alloc_compressor(level));
        if (!compressor)
            throw std::bad_alloc{};
        compressorLevel = level;
    }
    return *compressor;
}

// The bits of a deflate stream, least significant first within each byte: read eight bytes at a
// time as one little-endian word.
static_assert(std::endian::native == std::endian::little);
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // At least 57 bits from the current position, zeros past the end.
    std::uint64_t peek() const {
        const std::size_t byte = position_ / 8;
        std::uint64_t word = 0;
        if (byte + 8 <= bytes_.size())
            std::memcpy(&word, &bytes_[byte], 8);
        else if (byte < bytes_.size())
            std::memcpy(&word, &bytes_[byte], bytes_.size() - byte);
        return word >> (position_ % 8);
    }

    std::uint32_t take(unsigned count) {
        const auto value = static_cast<std::uint32_t>(peek() & ((std::uint64_t{1} << count) - 1));
        skip(count);
        return value;
    }

    void skip(std::size_t count) {
        position_ += count;
        if (position_ > 8 * bytes_.size())
            throw std::logic_error{"deflate walk ran past the end of the stream"};
    }

    void alignToByte() { skip((8 - position_ % 8) % 8); }

    std::size_t position() const { return position_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

constexpr unsigned maxCodeLength = 15;

// A canonical Huffman code as one table indexed by the next maxLength bits of the stream; each
// entry holds the symbol (above 4 bits) and its code's length (the low 4 bits, 0 for no code).
struct HuffmanTable {
    std::array<std::uint16_t, std::size_t{1} << maxCodeLength> entries{};
    unsigned maxLength = 0;

    void build(std::span<const std::uint8_t> lengths) {
        std::array<unsigned, maxCodeLength + 1> counts{};
        for (std::uint8_t length : lengths)
            ++counts[length];
        counts[0] = 0;
        maxLength = 0;
        for (unsigned length = 1; length <= maxCodeLength; ++length)
            if (counts[length] != 0)
                maxLength = length;
        std::array<unsigned, maxCodeLength + 2> next{};
        for (unsigned length = 1, code = 0; length <= maxCodeLength; ++length) {
            code = (code + counts[length - 1]) << 1;
            next[length] = code;
        }
        const std::size_t size = std::size_t{1} << maxLength;
        std::fill_n(entries.begin(), size, std::uint16_t{0});
        for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
            const unsigned length = lengths[symbol];
            if (length == 0)
                continue;
            const unsigned code = next[length]++;
            if (code >= (1u << length))
                throw std::logic_error{"deflate walk met an over-full code"};
            // Codes are sent from their most significant bit, so the table is indexed reversed.
            unsigned reversed = 0;
            for (unsigned bit = 0; bit < length; ++bit)
                reversed |= (code >> bit & 1) << (length - 1 - bit);
            for (std::size_t at = reversed; at < size; at += std::size_t{1} << length)
                entries[at] = static_cast<std::uint16_t>(symbol << 4 | length);
        }
    }

    // The next symbol, from bits already peeked; `used` gets its code's length.
    unsigned decode(std::uint64_t bits, unsigned& used) const {
        const std::uint16_t entry = entries[bits & ((std::uint64_t{1} << maxLength) - 1)];
        used = entry & 15;
        if (used == 0)
            throw std::logic_error{"deflate walk met a code that has no symbol"};
        return entry >> 4;
    }
};

// Extra bits after each length symbol (257 to 285) and each distance symbol (0 to 29).
constexpr std::array<std::uint8_t, 29> lengthExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint8_t, 30> distanceExtraBits = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

struct BlockCodes {
    HuffmanTable literals;
    HuffmanTable distances;
};

void readFixedCodes(BlockCodes& codes) {
    std::array<std::uint8_t, 288> literals{};
    std::fill(literals.begin(), literals.begin() + 144, 8);
    std::fill(literals.begin() + 144, literals.begin() + 256, 9);
    std::fill(literals.begin() + 256, literals.begin() + 280, 7);
    std::fill(literals.begin() + 280, literals.end(), 8);
    codes.literals.build(literals);
    std::array<std::uint8_t, 30> distances{};
    distances.fill(5);
    codes.distances.build(distances);
}

void readDynamicCodes(BitReader& bits, BlockCodes& codes) {
    const unsigned literalCount = bits.take(5) + 257;
    const unsigned distanceCount = bits.take(5) + 1;
    const unsigned lengthCodeCount = bits.take(4) + 4;
    constexpr std::array<std::uint8_t, 19> lengthCodeOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                              11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::array<std::uint8_t, 19> lengthCodeLengths{};
    for (unsigned i = 0; i < lengthCodeCount; ++i)
        lengthCodeLengths[lengthCodeOrder[i]] = static_cast<std::uint8_t>(bits.take(3));
    HuffmanTable lengthCode;
    lengthCode.build(lengthCodeLengths);

    std::array<std::uint8_t, 288 + 32> lengths{}; // the most the counts can say
    for (unsigned at = 0; at < literalCount + distanceCount;) {
        unsigned used = 0;
        const unsigned symbol = lengthCode.decode(bits.peek(), used);
        bits.skip(used);
        if (symbol < 16) {
            lengths[at++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        if (symbol == 16 && at == 0)
            throw std::logic_error{"deflate walk met a repeat with nothing to repeat"};
        const std::uint8_t repeated = symbol == 16 ? lengths[at - 1] : 0;
        const unsigned count = symbol == 16   ? 3 + bits.take(2)
                               : symbol == 17 ? 3 + bits.take(3)
                                              : 11 + bits.take(7);
        if (at + count > literalCount + distanceCount)
            throw std::logic_error{"deflate walk met code lengths past their count"};
        std::fill_n(lengths.begin() + at, count, repeated);
        at += count;
    }
    codes.literals.build(std::span{lengths}.first(literalCount));
    codes.distances.build(std::span{lengths}.subspan(literalCount, distanceCount));
}

// Reads symbols up to and including the block's end-of-block code.
void skipCompressedData(BitReader& bits, const BlockCodes& codes) {
    for (;;) {
        // One peek covers the longest length-and-distance pair: 15 + 5 + 15 + 13 bits.
        const std::uint64_t ahead = bits.peek();
        unsigned used = 0;
        const unsigned symbol = codes.literals.decode(ahead, used);
        if (symbol < 256) {
            bits.skip(used);
            continue;
        }
        if (symbol == 256) {
            bits.skip(used);
            return;
        }
        if (symbol > 285)
            throw std::logic_error{"deflate walk met an unknown length"};
        unsigned consumed = used + lengthExtraBits[symbol - 257];
        unsigned distanceUsed = 0;
        const unsigned distance = codes.distances.decode(ahead >> consumed, distanceUsed);
        if (distance >= distanceExtraBits.size())
            throw std::logic_error{"deflate walk met an unknown distance"};
        consumed += distanceUsed + distanceExtraBits[distance];
        bits.skip(consumed);
    }
}

// Where a complete raw deflate stream's last block starts and where its end-of-block code ends,
// in bits from the stream's start.
struct FinalBlock {
    std::size_t header = 0;
    std::size_t end = 0;
};

FinalBlock findFinalBlock(std::span<const std::uint8_t> stream) {
    BitReader bits{stream};
    // Heap-held: two full tables are too large for a helper thread's stack to take lightly.
    const auto codes = std::make_unique<BlockCodes>();
    for (;;) {
        const std::size_t header = bits.position();
        const bool final = bits.take(1) == 1;
        const unsigned type = bits.take(2);
        if (type == 0) {
            bits.alignToByte();
            const std::uint32_t length = bits.take(16);
            bits.skip(16 + 8 * std::size_t{length}); // the length's complement, then the bytes
        } else if (type == 1) {
            readFixedCodes(*codes);
            skipCompressedData(bits, *codes);
        } else if (type == 2) {
            readDynamicCodes(bits, *codes);
            skipCompressedData(bits, *codes);
        } else {
            throw std::logic_error{"deflate walk met a reserved block type"};
        }
        if (final)
            return {header, bits.position()};
    }
}

} // namespace

void deflateGroup(std::span<const std::uint8_t> data, bool last, int level, std::vector<std::uint8_t>& out) {
    libdeflate_compressor& compressor = compressorFor(std::clamp(level, 1, 12));
    // The compressor's output space, kept by the thread: it only grows, and is never cleared,
    // as the compressor overwrites what it uses.
    thread_local std::vector<std::uint8_t> space;
    space.resize(std::max(space.size(), libdeflate_deflate_compress_bound(&compressor, data.size())));
    const std::size_t written =
        libdeflate_deflate_compress(&compressor, data.data(), data.size(), space.data(), space.size());
    if (written == 0)
        throw std::logic_error{"libdeflate's output outgrew its own bound"};
    if (out.empty())
        out.reserve(written + 6); // a group's own buffer, as the writer keeps them, takes what it needs
    if (last) {
        out.insert(out.end(), space.begin(), space.begin() + static_cast<std::ptrdiff_t>(written));
        return;
    }
    // The last block is marked as not final, and an empty stored block follows it: three header
    // bits (all zero: not final, stored) right after the end-of-block code, zeros to the byte
    // boundary, then a length of 0 and its complement.
    const FinalBlock final = findFinalBlock(std::span{space}.first(written));
    space[final.header / 8] &= static_cast<std::uint8_t>(~(1u << final.header % 8));
    const std::size_t wholeBytes = final.end / 8;
    out.insert(out.end(), space.begin(), space.begin() + static_cast<std::ptrdiff_t>(wholeBytes));
    // The byte the end-of-block code ends in, without libdeflate's padding.
    out.push_back(
        final.end % 8 == 0 ? 0 : space[wholeBytes] & static_cast<std::uint8_t>((1u << final.end % 8) - 1));
    if (final.end % 8 > 5)
        out.push_back(0); // the header runs into the next byte
    out.insert(out.end(), {0x00, 0x00, 0xFF, 0xFF});
}

} // namespace tessera::codecs

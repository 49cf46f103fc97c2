// How the blocks of a strip's row reach the target.
//
// A strip writes a short stretch of each target row, and each stretch lies on other memory
// pages than the one before. An enlargement that fits in the processor's caches is written
// in place, with the next rows' lines fetched ahead (the processor does not look ahead
// across pages by itself). One far larger than the caches goes to memory whatever the pass
// does; there every line written in place is first read from memory, only to be replaced,
// so the blocks are composed in a small staging area that stays in the first-level cache
// while the patterns blend into it, and then streamed to the target in whole cache lines,
// which the processor writes without reading them first.
#pragma once

#include "pass_namespace.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tessera/scaler.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// Enlargements from this many bytes on are streamed; below it they are written in place.
// Measured on the benchmark's images: streaming gains 10 to 30 % from about 38 MB (a
// 1024 x 1024 image at factor 3) and loses up to 40 % at 4 to 17 MB, which the last-level
// cache still holds between calls.
constexpr std::int64_t streamedTargetBytes = std::int64_t{32} << 20;

constexpr int cacheLineBytes = 64;
constexpr int pixelsPerLine = cacheLineBytes / sizeof(Pixel);

// Where the processor has no streaming stores (WebAssembly among others), composing
// the blocks and then copying them plainly only adds the copy: every target is written
// in place there.
#if defined(__SSE2__)
constexpr bool hasStreamingStores = true;
#else
constexpr bool hasStreamingStores = false;
#endif

constexpr bool streamsTarget(std::int32_t width, std::int32_t height, int factor) {
    return hasStreamingStores &&
           std::int64_t{width} * height * factor * factor * std::int64_t{sizeof(Pixel)} >=
               streamedTargetBytes;
}

// Asks for the cache lines of `rows` target rows of `count` pixels from `first` ahead of
// their writing in place.
inline void prefetchForWriting(const Pixel* first, int count, std::ptrdiff_t stride, int rows) {
    for (int r = 0; r < rows; ++r)
        for (int x = 0; x < count; x += pixelsPerLine)
            __builtin_prefetch(first + r * stride + x, 1);
}

// Copies `count` pixels to `to` with streaming stores for the whole cache lines among
// them and plain ones for the partial lines at the ends, which the neighbouring strips
// share. Only streamed targets come here, and only where the processor has streaming
// stores; elsewhere it compiles to a plain copy.
inline void streamPixels(const Pixel* from, int count, Pixel* to) {
#if defined(__SSE2__)
    const auto address = reinterpret_cast<std::uintptr_t>(to);
    // A pixel pointer off its four-byte alignment never reaches a line's start.
    const int head = address % sizeof(Pixel) != 0
                         ? count
                         : std::min(count, static_cast<int>((cacheLineBytes - address % cacheLineBytes) %
                                                            cacheLineBytes / sizeof(Pixel)));
    std::copy_n(from, head, to);
    int x = head;
    for (; x + pixelsPerLine <= count; x += pixelsPerLine)
        for (int k = 0; k < pixelsPerLine; k += 4)
            _mm_stream_si128(reinterpret_cast<__m128i*>(to + x + k),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x + k)));
    std::copy(from + x, from + count, to + x);
#else
    std::copy_n(from, count, to);
#endif
}

// Orders the streaming stores of a call before whatever the caller stores next, as plain
// stores are, so that another thread that sees the call finished sees its target too.
inline void finishStreaming() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE

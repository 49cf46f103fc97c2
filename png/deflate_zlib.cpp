// The native deflate backend: zlib, one raw-deflate stream per thread, reset between groups
// rather than set up again, so that many small images pay its set-up once.
#include "deflate_backend.h"

#include <algorithm>
#include <new>
#include <zlib.h>

namespace tessera::png {
namespace {

struct ThreadDeflater {
    z_stream stream{};
    int level = -1;
    bool ready = false;

    ThreadDeflater() = default;
    ThreadDeflater(const ThreadDeflater&) = delete;
    ThreadDeflater& operator=(const ThreadDeflater&) = delete;
    ~ThreadDeflater() {
        if (ready)
            deflateEnd(&stream);
    }

    z_stream& reset(int wanted) {
        if (ready && level == wanted) {
            deflateReset(&stream);
            return stream;
        }
        if (ready)
            deflateEnd(&stream);
        stream = {};
        // Raw deflate (negative window bits), the largest window and memory level.
        ready = deflateInit2(&stream, wanted, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) == Z_OK;
        if (!ready)
            throw std::bad_alloc{};
        level = wanted;
        return stream;
    }
};

} // namespace

void deflateGroup(std::span<const std::uint8_t> data, bool last, int level, std::vector<std::uint8_t>& out) {
    thread_local ThreadDeflater deflater;
    z_stream& stream = deflater.reset(std::clamp(level, 1, 9));
    stream.next_in = const_cast<Bytef*>(data.data());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    // zlib takes at most 4 GiB of input at a time: the groups are far smaller.
    stream.avail_in = static_cast<uInt>(data.size());
    const std::size_t start = out.size();
    out.resize(start + deflateBound(&stream, stream.avail_in) + 16);
    for (;;) {
        stream.next_out = out.data() + start + stream.total_out;
        stream.avail_out = static_cast<uInt>(out.size() - start - stream.total_out);
        const int result = deflate(&stream, flush);
        if (result == Z_STREAM_END || (result == Z_OK && stream.avail_in == 0 && stream.avail_out > 0))
            break;
        if (result != Z_OK && result != Z_BUF_ERROR)
            throw std::bad_alloc{};
        out.resize(out.size() + out.size() / 2 + 64);
    }
    out.resize(start + stream.total_out);
}

} // namespace tessera::png

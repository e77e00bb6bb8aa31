#include "loopback/Compression.h"

#include <zlib.h>
#include <zstd.h>

#include <stdexcept>

namespace loopback {

Bytes Deflate(const Bytes& data, int windowBits, int level) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 64);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    return out;
}

Bytes Gzip(const Bytes& data, int level) {
    return Deflate(data, 31, level);
}

Bytes Zstd(const Bytes& data, bool recordSize, int level) {
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, recordSize ? 1 : 0);
    Bytes out(ZSTD_compressBound(data.size()));
    std::size_t n = 0;
    if (recordSize) {
        n = ZSTD_compress2(cctx, out.data(), out.size(), data.data(), data.size());
    } else {
        ZSTD_inBuffer in{data.data(), data.size(), 0};
        ZSTD_outBuffer o{out.data(), out.size(), 0};
        n = ZSTD_compressStream2(cctx, &o, &in, ZSTD_e_end);
        n = ZSTD_isError(n) || n != 0 ? static_cast<std::size_t>(-1) : o.pos;
    }
    ZSTD_freeCCtx(cctx);
    if (ZSTD_isError(n)) {
        throw std::runtime_error("zstd compression");
    }
    out.resize(n);
    return out;
}

}  // namespace loopback

#include "decoding/ZstdBody.h"

// The frame walks that find the recorded sizes and a bound of all frames, and the stable
// output buffer, are libzstd's advanced interface, which its shared library exports too.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "buffers/LargeBuffer.h"

namespace RVUtil::decoding {

namespace {

// zstd's error results for frames that do not follow each other up to the end of the body,
// and for a last frame that is cut short.
constexpr auto kCorrupt = static_cast<std::size_t>(-ZSTD_error_corruption_detected);
constexpr auto kCutShort = static_cast<std::size_t>(-ZSTD_error_srcSize_wrong);

DecodedBody Failed(std::size_t error) {
    return DecodedBody::Failed(FailureKind::Decoding, static_cast<long>(ZSTD_getErrorCode(error)),
                               {"zstd: ", ZSTD_getErrorName(error)});
}

DecodedBody NoMemory() {
    return DecodedBody::Failed(FailureKind::OutOfMemory, 0, {"zstd: out of memory"});
}

struct StreamDeleter {
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

// One streaming context per thread, kept between calls. Its output buffer is stable (the
// whole growing output, never moved), so it decodes straight into it instead of through a
// window of its own; and as the window then costs it nothing, any window a frame asks for
// is accepted, as the one-shot call accepts it.
ZSTD_DCtx* ThreadStreamDecoder() {
    thread_local std::unique_ptr<ZSTD_DCtx, StreamDeleter> d([] {
        ZSTD_DCtx* made = ZSTD_createDCtx();
        if (made != nullptr &&
            (ZSTD_isError(ZSTD_DCtx_setParameter(made, ZSTD_d_stableOutBuffer, 1)) ||
             ZSTD_isError(ZSTD_DCtx_setParameter(made, ZSTD_d_windowLogMax, ZSTD_WINDOWLOG_MAX)))) {
            ZSTD_freeDCtx(made);
            made = nullptr;
        }
        return made;
    }());
    return d.get();
}

// Frames that all record their size: one array of exactly their sum (at most the limit),
// decoded in one call.
DecodedBody DecodeRecorded(const void* body, std::size_t size, std::size_t decoded) {
    DecodedBody out;
    out.data.reset(new (std::nothrow) std::uint8_t[decoded + 1]);
    if (out.data == nullptr) {
        return NoMemory();
    }
    buffers::AdviseLargeBuffer(out.data.get(), decoded);
    const std::size_t result = ZSTD_decompress(out.data.get(), decoded, body, size);
    if (ZSTD_isError(result)) {
        return Failed(result);
    }
    out.size = result;
    return out;
}

// Frames that do not all record their size (what a compressor writing to a pipe or a server
// compressing on the fly produce): streamed into a growing output with room for all that the
// frames can hold up to the limit, then handed over in an exact array. Pages become resident
// only as output arrives, so a failure holds no more than the limit.
DecodedBody DecodeStream(const void* body, std::size_t size, std::size_t limit) {
    const unsigned long long bound = ZSTD_decompressBound(body, size);
    if (bound == ZSTD_CONTENTSIZE_ERROR) {
        return Failed(kCorrupt);
    }
    ZSTD_DCtx* d = ThreadStreamDecoder();
    if (d == nullptr) {
        return NoMemory();
    }
    const auto capacity = static_cast<std::size_t>(std::min<unsigned long long>(bound, limit));
    try {
        buffers::GrowingOutput grown(capacity);
        (void)ZSTD_DCtx_reset(d, ZSTD_reset_session_only);
        ZSTD_inBuffer in{body, size, 0};
        ZSTD_outBuffer decoded{grown.data(), capacity, 0};
        std::size_t left = 0;
        while (in.pos < in.size && !ZSTD_isError(left)) {
            left = ZSTD_decompressStream(d, &decoded, &in);
        }
        if (ZSTD_isError(left) && ZSTD_getErrorCode(left) == ZSTD_error_dstSize_tooSmall &&
            capacity == limit) {
            return DecodedBody::OverLimit("zstd", limit);
        }
        if (ZSTD_isError(left)) {
            return Failed(left);
        }
        if (left != 0) {  // the last frame is cut short
            return Failed(kCutShort);
        }
        std::uint8_t spare = 0;
        DecodedBody out;
        out.data = buffers::HandOver({{grown.data(), decoded.pos}, {&spare, 1}});
        out.size = decoded.pos;
        return out;
    } catch (const std::bad_alloc&) {
        return NoMemory();
    }
}

}  // namespace

DecodedBody DecodeZstd(std::span<const std::byte> body, std::size_t limit) {
    if (body.empty()) {  // no frame
        return DecodedBody::Failed(FailureKind::Decoding, 0, {"zstd: empty body"});
    }
    const unsigned long long recorded = ZSTD_findDecompressedSize(body.data(), body.size());
    if (recorded == ZSTD_CONTENTSIZE_UNKNOWN) {
        return DecodeStream(body.data(), body.size(), limit);
    }
    if (recorded == ZSTD_CONTENTSIZE_ERROR) {
        return Failed(kCorrupt);
    }
    // A recorded size above the limit is refused before anything is allocated.
    if (recorded > limit) {
        return DecodedBody::OverLimit("zstd", limit);
    }
    return DecodeRecorded(body.data(), body.size(), static_cast<std::size_t>(recorded));
}

}  // namespace RVUtil::decoding

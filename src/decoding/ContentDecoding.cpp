#include "decoding/ContentDecoding.h"

// The frame walks that find the recorded sizes and a bound of all frames, and the stable
// output buffer, are libzstd's advanced interface, which its shared library exports too.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "RVUtil/BodyLimit.h"
#include "buffers/LargeBuffer.h"
#include "decoding/DecodeFailure.h"
#include "decoding/Pakdec.h"
#include "platform/Ascii.h"

namespace RVUtil {

namespace {

// zstd's error results for frames that do not follow each other up to the end of the body,
// and for a last frame that is cut short.
constexpr auto kCorrupt = static_cast<std::size_t>(-ZSTD_error_corruption_detected);
constexpr auto kCutShort = static_cast<std::size_t>(-ZSTD_error_srcSize_wrong);

// Read as a signed 32-bit number, an error code is negative.
long ZstdResult(std::size_t result) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(result));
}

void ReportZstdError(std::size_t error, Failure* failure) {
    ReportFailure(failure, FailureKind::Decoding, static_cast<long>(ZSTD_getErrorCode(error)),
                  {"zstd: ", ZSTD_getErrorName(error)});
}

// A failure of the frames themselves still hands over an array, an empty one here, for the
// caller to release.
long ZstdFailed(std::size_t error, BYTE** out, Failure* failure) {
    ReportZstdError(error, failure);
    *out = new (std::nothrow) BYTE[0];
    return ZstdResult(error);
}

// Output past the limit, and memory that cannot be had, fail alike: result 0, out null.
long OverLimit(const char* coding, std::size_t limit, BYTE** out, Failure* failure) {
    ReportFailure(failure, FailureKind::BodyLimit, static_cast<long>(limit),
                  {coding, ": output over the body limit of ", std::to_string(limit), " bytes"});
    *out = nullptr;
    return 0;
}
long NoMemory(BYTE** out, Failure* failure) {
    ReportFailure(failure, FailureKind::OutOfMemory, 0, {"zstd: out of memory"});
    *out = nullptr;
    return 0;
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
// decoded in one call, and stored in out whether decoding succeeds or not.
long DecodeZstdRecorded(const BYTE* body, std::size_t size, std::size_t decoded, BYTE** out,
                        Failure* failure) {
    BYTE* array = new (std::nothrow) BYTE[decoded + 1];
    if (array == nullptr) {
        return NoMemory(out, failure);
    }
    buffers::AdviseLargeBuffer(array, decoded);
    const std::size_t result = ZSTD_decompress(array, decoded, body, size);
    *out = array;
    if (ZSTD_isError(result)) {
        ReportZstdError(result, failure);
    }
    return ZstdResult(result);
}

// Frames that do not all record their size (what a compressor writing to a pipe or a server
// compressing on the fly produce): streamed into a growing output with room for all that the
// frames can hold up to the limit, then handed over in an exact array. Pages become resident
// only as output arrives, so a failure holds no more than the limit.
long DecodeZstdStream(const BYTE* body, std::size_t size, std::size_t limit, BYTE** out,
                      Failure* failure) {
    const unsigned long long bound = ZSTD_decompressBound(body, size);
    if (bound == ZSTD_CONTENTSIZE_ERROR) {
        return ZstdFailed(kCorrupt, out, failure);
    }
    ZSTD_DCtx* d = ThreadStreamDecoder();
    if (d == nullptr) {
        return NoMemory(out, failure);
    }
    const std::size_t capacity =
        static_cast<std::size_t>(std::min<unsigned long long>(bound, limit));
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
            return OverLimit("zstd", limit, out, failure);
        }
        if (ZSTD_isError(left)) {
            return ZstdFailed(left, out, failure);
        }
        if (left != 0) {  // the last frame is cut short
            return ZstdFailed(kCutShort, out, failure);
        }
        BYTE spare = 0;
        *out = buffers::HandOver({{grown.data(), decoded.pos}, {&spare, 1}}).release();
        return static_cast<long>(decoded.pos);
    } catch (const std::bad_alloc&) {
        return NoMemory(out, failure);
    }
}

long DecodeZstd(const BYTE* body, long length, std::size_t limit, BYTE** out, Failure* failure) {
    const std::size_t size = body != nullptr && length > 0 ? static_cast<std::size_t>(length) : 0;
    if (size == 0) {  // no frame: fails as an empty gzip body does, with an array to release
        ReportFailure(failure, FailureKind::Decoding, 0, {"zstd: empty body"});
        *out = new (std::nothrow) BYTE[0];
        return 0;
    }
    const unsigned long long recorded = ZSTD_findDecompressedSize(body, size);
    if (recorded == ZSTD_CONTENTSIZE_UNKNOWN) {
        return DecodeZstdStream(body, size, limit, out, failure);
    }
    if (recorded == ZSTD_CONTENTSIZE_ERROR) {
        return ZstdFailed(kCorrupt, out, failure);
    }
    // A recorded size above the limit is refused before anything is allocated.
    if (recorded > limit) {
        return OverLimit("zstd", limit, out, failure);
    }
    return DecodeZstdRecorded(body, size, static_cast<std::size_t>(recorded), out, failure);
}

long DecodeGzip(BYTE* body, long length, std::size_t limit, BYTE** out, Failure* failure) {
    // Larger than any body the limit lets through as received.
    if (length > INT_MAX) {
        return OverLimit("gzip", limit, out, failure);
    }
    int decoded = 0;
    if (Gunzip(static_cast<int>(length), body, out, &decoded, failure, limit) == 0) {
        return 0;
    }
    return decoded;
}

}  // namespace

ContentEncoding EncodingOf(std::string_view contentEncoding) {
    const std::string lower = ascii::Lower(contentEncoding);
    // gzip first: "x-gzip" and a stacked "gzip, zstd" both count as gzip.
    if (lower.find("gzip") != std::string::npos) {
        return ContentEncoding::Gzip;
    }
    if (lower.find("zstd") != std::string::npos) {
        return ContentEncoding::Zstd;
    }
    return ContentEncoding::None;
}

long DecodeBody(ContentEncoding kind, BYTE* body, long length, BYTE** out, Failure* failure,
                std::optional<std::size_t> limit) {
    const std::size_t bound = limit.value_or(static_cast<std::size_t>(RVUtil_gfnGetBodyLimit()));
    if (out == nullptr) {
        ReportFailure(failure, FailureKind::Internal, 0, {"no place for the decoded body"});
        return 0;
    }
    switch (kind) {
        case ContentEncoding::Gzip:
            return DecodeGzip(body, length, bound, out, failure);
        case ContentEncoding::Zstd:
            return DecodeZstd(body, length, bound, out, failure);
        case ContentEncoding::None:
            break;
    }
    return 0;
}

}  // namespace RVUtil

#include "pakdec/ContentDecoding.h"

// ZSTD_getDecompressedSize is kept on purpose: it folds "no size recorded", "empty" and
// "not a zstd frame" into the one 0 that the decoding below relies on.
#define ZSTD_DISABLE_DEPRECATE_WARNINGS
#include <zstd.h>

#include <climits>
#include <cstdint>
#include <new>

#include "pakdec/LargeBuffer.h"
#include "pakdec/Pakdec.h"

namespace RVUtil {

namespace {

// zstd one-shot: one array of exactly the size the first frame header records, stored in
// out whether decoding succeeds or not. A frame that records no size gets a zero-length
// array and fails; so do several frames that need more than the first one records.
long DecodeZstd(const BYTE* body, long length, BYTE** out) {
    const std::size_t srcSize = length > 0 ? static_cast<std::size_t>(length) : 0;
    const unsigned long long recorded =
        body != nullptr ? ZSTD_getDecompressedSize(body, srcSize) : 0;
    // A recorded size above the limit is refused like an allocation that failed.
    if (recorded > kMaxDecodedBodySize) {
        *out = nullptr;
        return 0;
    }
    const std::size_t size = static_cast<std::size_t>(recorded);
    BYTE* array = new (std::nothrow) BYTE[size];
    if (array == nullptr) {
        *out = nullptr;
        return 0;
    }
    AdviseLargeBuffer(array, size);
    const std::size_t result = ZSTD_decompress(array, size, body, body != nullptr ? srcSize : 0);
    *out = array;
    // Read as a signed 32-bit number, an error code is negative.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(result));
}

long DecodeGzip(BYTE* body, long length, BYTE** out) {
    if (length > INT_MAX) {
        *out = nullptr;
        return 0;
    }
    int decoded = 0;
    if (PakdecA(static_cast<int>(length), body, out, &decoded) == 0) {
        return 0;
    }
    return decoded;
}

}  // namespace

ContentEncoding EncodingOf(const CString& contentEncoding) {
    CString lower(contentEncoding);
    lower.MakeLower();
    // gzip first: "x-gzip" and a stacked "gzip, zstd" both count as gzip.
    if (lower.Find("gzip") >= 0) {
        return ContentEncoding::Gzip;
    }
    if (lower.Find("zstd") >= 0) {
        return ContentEncoding::Zstd;
    }
    return ContentEncoding::None;
}

long DecodeBody(ContentEncoding kind, BYTE* body, long length, BYTE** out) {
    if (out == nullptr) {
        return 0;
    }
    switch (kind) {
        case ContentEncoding::Gzip:
            return DecodeGzip(body, length, out);
        case ContentEncoding::Zstd:
            return DecodeZstd(body, length, out);
        case ContentEncoding::None:
            break;
    }
    return 0;
}

}  // namespace RVUtil

#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "RVUtil/CString.h"
#include "RVUtil/Failure.h"
#include "RVUtil/WinTypes.h"

// The body decoding that both fetchers share: the kind comes from the response's
// Content-Encoding value, gzip goes through PakdecA, zstd through libzstd.
namespace RVUtil {

enum class ContentEncoding { None, Gzip, Zstd };

ContentEncoding EncodingOf(std::string_view contentEncoding);
inline ContentEncoding EncodingOf(const CString& contentEncoding) {
    return EncodingOf(std::string_view(contentEncoding.str()));
}

// Decodes length bytes at body; the result is the decoded length, or 0 or a negative
// number on failure. For None, out is left untouched. No decoded body exceeds the body limit
// (RVUtil_gfnGetBodyLimit): one that would fails as out of memory would, result 0 and out
// null. While decoding, no more than the limit is held besides the input.
//
// When failure is not null, a failure stores there why: BodyLimit (code: the limit) when the
// output would pass the limit, Decoding for data that does not decode (code: zstd's error
// code, or libdeflate's result), OutOfMemory. A body that decodes to nothing succeeds with
// result 0 and leaves failure untouched, as None does.
//
// limit replaces the process's body limit for this body (a fetch's own). The array stored in
// out holds one byte more than the decoded length, so that a fetcher keeping the body can
// hand it on with a zero after it without copying it.
long DecodeBody(ContentEncoding kind, BYTE* body, long length, BYTE** out,
                Failure* failure = nullptr, std::optional<std::size_t> limit = std::nullopt);

}  // namespace RVUtil

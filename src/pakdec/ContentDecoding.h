#pragma once

#include <cstddef>

#include "RVUtil/CString.h"
#include "RVUtil/WinTypes.h"

// The body decoding that both fetchers share: the kind comes from the response's
// Content-Encoding value, gzip goes through PakdecA, zstd through libzstd.
namespace RVUtil {

enum class ContentEncoding { None, Gzip, Zstd };

// No decoded body may exceed this; a body that claims more fails as out of memory would.
constexpr std::size_t kMaxDecodedBodySize = std::size_t{1} << 30;

ContentEncoding EncodingOf(const CString& contentEncoding);

// Decodes length bytes at body; the result is the decoded length, or 0 or a negative
// number on failure. For None, out is left untouched.
long DecodeBody(ContentEncoding kind, BYTE* body, long length, BYTE** out);

}  // namespace RVUtil

#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "decoding/DecodedBody.h"

// The body decoding that both fetchers share: the kind comes from the response's
// Content-Encoding value, gzip goes through libdeflate (GzipBody.h), zstd through libzstd
// (ZstdBody.h).
namespace RVUtil::decoding {

enum class ContentEncoding { None, Gzip, Zstd };

// gzip is looked for first, so "x-gzip" and a stacked "gzip, zstd" both count as gzip.
ContentEncoding EncodingOf(std::string_view contentEncoding);

// Decodes a whole body. No decoded body exceeds limit (unset: the process's body limit,
// RVUtil_gfnGetBodyLimit): one that would fails with BodyLimit, and while decoding, no more
// than the limit is held besides the input. A body that decodes to nothing succeeds with
// size 0. For None there is nothing to decode: no output and no failure.
DecodedBody DecodeBody(ContentEncoding kind, std::span<const std::byte> body,
                       std::optional<std::size_t> limit = std::nullopt);

}  // namespace RVUtil::decoding

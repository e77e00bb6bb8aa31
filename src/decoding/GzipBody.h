#pragma once

#include <cstddef>
#include <span>

#include "decoding/DecodedBody.h"

namespace RVUtil::decoding {

// Decodes a gzip body (RFC 1952, one or more members) into at most limit bytes.
DecodedBody DecodeGzip(std::span<const std::byte> body, std::size_t limit);

}  // namespace RVUtil::decoding

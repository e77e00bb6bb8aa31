#pragma once

#include <cstddef>
#include <span>

#include "decoding/DecodedBody.h"

namespace RVUtil::decoding {

// Decodes a zstd body of one or more frames, with or without their recorded sizes, into at
// most limit bytes. Corrupt frames, a frame cut short, bytes after the last frame and an
// empty body fail with Decoding, in libzstd's words and with its error code.
DecodedBody DecodeZstd(std::span<const std::byte> body, std::size_t limit);

}  // namespace RVUtil::decoding

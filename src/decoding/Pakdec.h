#pragma once

#include <cstddef>
#include <optional>

#include "RVUtil/Failure.h"
#include "RVUtil/WinTypes.h"

// Decodes a gzip body (RFC 1952, one or more members). On success returns non-zero,
// stores in *out a buffer from new[] that the caller releases with delete[], and its size
// in *outLength. Returns 0 on any failure, with *out null.
int PakdecA(int inLength, BYTE* in, BYTE** out, int* outLength);

namespace RVUtil {

// PakdecA that also says why it failed: when failure is not null, a failure stores there its
// kind (BodyLimit with the limit as code, Decoding, OutOfMemory) and words. The output stays
// within limit bytes (unset: the process's body limit), and its array holds one byte more
// than its size.
int Gunzip(int inLength, const BYTE* in, BYTE** out, int* outLength, Failure* failure,
           std::optional<std::size_t> limit = std::nullopt);

}  // namespace RVUtil

#pragma once

#include "RVUtil/Failure.h"
#include "RVUtil/WinTypes.h"

// Decodes a gzip body (RFC 1952, one or more members). On success returns non-zero,
// stores in *out a buffer from new[] that the caller releases with delete[], and its size
// in *outLength. Returns 0 on any failure, with *out null.
int PakdecA(int inLength, BYTE* in, BYTE** out, int* outLength);

namespace RVUtil {

// PakdecA that also says why it failed: when failure is not null, a failure stores there its
// kind (BodyLimit with the limit as code, Decoding, OutOfMemory) and words.
int Gunzip(int inLength, const BYTE* in, BYTE** out, int* outLength, Failure* failure);

}  // namespace RVUtil

#pragma once

#include "RVUtil/WinTypes.h"

// Decodes a gzip body (RFC 1952, one or more members). On success returns non-zero,
// stores in *out a buffer from new[] that the caller releases with delete[], and its size
// in *outLength. Returns 0 on any failure.
int PakdecA(int inLength, BYTE* in, BYTE** out, int* outLength);

#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "RVUtil/Failure.h"
#include "RVUtil/WinTypes.h"
#include "decoding/ContentDecoding.h"

// The door between the decoders and the fetchers' exported Decompress(BYTE** out). Both
// fetchers answer it alike, so the answer is made once, here, in the one layer below them
// both that knows bodies; each fetcher adds what is its own (the failure it keeps, its log
// record).
namespace RVUtil::decoding {

struct DecompressAnswer {
    long result = 0;  // what Decompress returns
    Failure failure;  // why it failed; kind None when it did not or nothing was to be decoded
};

// Decodes body, held whole, as kind says within limit, and stores the output in *out as the
// exported contract has it:
// - decoded: *out is the new[] array (size + 1 bytes) that the caller releases with
//   delete[], the result its size; a body that decodes to nothing fails all the same, with
//   result 0 and an array to release;
// - zstd data that does not decode: *out is an empty new[] array to release, the result
//   libzstd's error code read as a signed 32-bit number (negative; 0 for an empty body);
// - any other failure (gzip's, the limit, no memory, out null): *out null, result 0;
// - None: nothing to decode, *out untouched, result 0 and no failure.
DecompressAnswer AnswerDecompress(ContentEncoding kind, std::span<const std::byte> body,
                                  std::uint64_t limit, BYTE** out);

}  // namespace RVUtil::decoding

#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>

#include "RVUtil/Failure.h"

namespace RVUtil::decoding {

// A whole body decoded, or why it could not be: what the whole-body decoders give.
struct DecodedBody {
    // The output, in a new[] array of size + 1 bytes: the byte after the output lets a fetcher
    // that keeps the body hand it on with a zero after it without copying it. The elements
    // are std::uint8_t, the exported BYTE that hosts release the array as. Null when decoding
    // failed.
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    // Why decoding failed; kind None when it did not. BodyLimit (code: the limit) when the
    // output would pass the limit, Decoding for data that does not decode (code: libzstd's
    // error code, or libdeflate's result), OutOfMemory.
    Failure failure;

    // A failure, its words joined from pieces. It never throws: when memory for the words
    // cannot be had, the kind and code alone tell the failure.
    static DecodedBody Failed(FailureKind kind, long code,
                              std::initializer_list<std::string_view> words) noexcept;
    // The output would pass the limit: "<coding>: output over the body limit of <n> bytes".
    static DecodedBody OverLimit(std::string_view coding, std::size_t limit);
};

}  // namespace RVUtil::decoding

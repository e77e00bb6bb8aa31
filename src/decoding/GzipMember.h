#pragma once

#include <cstddef>

// The framing of a gzip member (RFC 1952) around its deflate data, read one way by the
// whole-body decoder and the streaming one.
namespace RVUtil::decoding {

struct GzipHeaderLength {
    std::size_t length = 0;  // of the whole header; 0 while it is not complete
    bool invalid = false;    // what is there can never start a valid member
};

// Measures the member header at the start of p: the magic bytes, deflate, no reserved flag,
// the optional extra field, name and comment, and a header CRC that must match when it is
// present.
GzipHeaderLength MeasureGzipHeader(const unsigned char* p, std::size_t n);

}  // namespace RVUtil::decoding

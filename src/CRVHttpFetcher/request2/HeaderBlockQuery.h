#pragma once

#include <memory>

#include "RVUtil/WinTypes.h"

namespace RVUtil::transport {
class Request;
}

// The response's raw header block, asked for in two steps: how large is it, then the block
// into a buffer of that size.
namespace RVUtil::request2 {

constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorHeaderNotFound = 12150;

// The raw header block of a sent request (status line, header lines and the empty line,
// as received). With a null buffer, or *length smaller than the block and its
// terminator, it fails with *error 122 and sets *length to the size needed, terminator
// included. Otherwise it copies the block and its terminator into buffer and sets *length
// to the block's length. A request without a response head fails with *error 12150.
bool QueryRawHeaders(const transport::Request& request, char* buffer, DWORD* length, DWORD* error);

// Asks query (called like QueryRawHeaders, without the request) until it delivers the block:
// first with no buffer, then, for as long as it answers 122, with a buffer of the size it
// asked for, which replaces the earlier one. Then use(text, length) sees the block, and the
// buffer is released. False, and use is not called, when the query fails for any other
// reason, or asks for no more than the buffer it just refused (it would never finish).
template <class Query, class Use>
bool WithRawHeaderBlock(Query&& query, Use&& use) {
    std::unique_ptr<char[]> buffer;
    DWORD size = 0;
    DWORD length = 0;
    DWORD error = 0;
    while (!query(buffer.get(), &length, &error)) {
        if (error != kErrorInsufficientBuffer || (buffer && length <= size)) {
            return false;
        }
        buffer.reset();
        buffer.reset(new char[length]);
        size = length;
    }
    if (!buffer) {
        return false;
    }
    use(static_cast<const char*>(buffer.get()), length);
    return true;
}

}  // namespace RVUtil::request2

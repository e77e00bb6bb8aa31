#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "http/ParsedHead.h"
#include "transport/InetError.h"

// The head of an HTTP/1.x response: the status line and the header lines up to the empty
// line, kept as received, plus what the transport needs to frame the body that follows.
namespace RVUtil::transport {

// A head larger than this is refused as an invalid response rather than buffered further.
constexpr std::size_t kMaxResponseHeadSize = std::size_t{1} << 20;

enum class BodyFraming {
    None,        // 1xx, 204, 304: nothing follows the head
    Length,      // Content-Length bytes
    Chunked,     // chunked transfer coding
    UntilClose,  // everything up to the end of the connection
};

struct ResponseHead {
    int status = 0;
    // The head exactly as received (status line, header lines and the empty line, each
    // ended as the server ended it: CR LF or LF alone), read once; the fetchers keep it.
    http::ParsedHead parsed;
    BodyFraming framing = BodyFraming::UntilClose;
    std::uint64_t contentLength = 0;
    bool keepAlive = false;  // the server lets the connection carry another request
};

// What a Content-Length that cannot be read (not a decimal number, or values that differ)
// does to the head that carries it.
enum class UnreadableLength {
    Refuse,  // the head is an invalid response
    Ignore,  // the head counts as naming no length: the body runs to the end of the
             // connection (or of its chunked coding), and the connection is not kept
};

// Length of the head at the start of data, up to and including the empty line that ends
// it, or 0 while that line has not arrived. Lines may end in CR LF or LF alone. from is
// where an earlier call stopped looking, so that a head arriving in pieces is scanned once.
std::size_t FindResponseHeadEnd(std::string_view data, std::size_t from = 0);

// Reads a complete head (as FindResponseHeadEnd delimits it) by the rules of http/: the
// status line (StatusLine.h), every header line (HeaderLineFault), one readable length
// (unless rule says to ignore it), no transfer coding but chunked alone, and no switch of
// protocols (nothing asks for one). Fails with kInetInvalidResponse otherwise, *fault (when
// given) saying why in a few words.
InetError ParseResponseHead(std::string_view head, ResponseHead* out,
                            UnreadableLength rule = UnreadableLength::Refuse,
                            const char** fault = nullptr);

}  // namespace RVUtil::transport

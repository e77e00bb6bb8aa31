#pragma once

#include <string>

#include "RVUtil/Export.h"

namespace RVUtil {

// Why a request, or one of its steps, did not give what was asked. The value is made where
// the failure happens (the transport, libcurl's result, a decoder, the status check) and
// travels up unchanged, so that every layer above, the log records included, tells the same
// cause without reading another layer's text.
enum class FailureKind {
    None,              // nothing failed
    RefusedUrl,        // a URL the fetcher cannot use: its scheme, characters, length or host
    RefusedHeader,     // a request header that cannot go on the wire
    NameResolution,    // the server's (or the proxy's) name did not resolve
    Connect,           // refused or unreachable; a proxy that refused its tunnel
    Tls,               // the TLS handshake failed: an untrusted or wrong-name peer
    Timeout,           // a time-out ended the request
    ConnectionClosed,  // the connection closed or reset before a response came
    BodyCutShort,      // the body ended before its declared length or last chunk
    BodyLimit,         // the body, as received or as decoded, passed the body limit
    Decoding,          // a gzip or zstd body that does not decode
    Protocol,          // a response HTTP does not allow (status line, lengths, chunk sizes)
    HttpStatus,        // an answer whose status is not a success
    Verdict,           // the server's RV_Error verdict
    Cancelled,         // stopped on request: the fetcher's Fini, or a sink that said so
    OutOfMemory,       // memory for the request or its body could not be had
    Internal,          // the fetcher could not be set up or refused its own settings
};

// One failure: what kind, the number the failing layer gives it (libcurl's CURLcode, the own
// transport's error number, the HTTP status, a decoder's error) and one sentence of words.
struct Failure {
    FailureKind kind = FailureKind::None;
    long code = 0;
    std::string words;

    explicit operator bool() const noexcept { return kind != FailureKind::None; }
};

// The kind's name as written above ("NameResolution"), for logs and messages.
RVUTIL_API const char* FailureKindName(FailureKind kind) noexcept;

}  // namespace RVUtil

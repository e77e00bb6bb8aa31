#pragma once

#include <cstdint>

#include "RVUtil/Failure.h"

// The reasons the transport gives for a failure. They stand where the platform's last-error
// value stood, so they reach the fetcher's log lines as numbers; the numbers follow the
// platform's internet error range so that a reader of old and new logs sees the same values.
// This is the one place they are defined.
namespace RVUtil::transport {

enum InetError : std::uint32_t {
    kInetOk = 0,
    kInetBodyOverLimit = 8,             // a body beyond the process's body limit (no memory for it)
    kInetInvalidParameter = 87,         // a negative or missing request body
    kInetTimeout = 12002,               // connect, send or receive took longer than allowed
    kInetInternalError = 12004,         // out of memory or descriptors, an unexpected state
    kInetNameNotResolved = 12007,       // the host name (or the proxy's) did not resolve
    kInetCancelled = 12017,             // the caller stopped the request (a fetch's receiver)
    kInetCertificateName = 12038,       // the TLS peer's certificate names another host
    kInetCertificateUntrusted = 12045,  // the TLS peer's certificate chains to no trusted one
    kInetCannotConnect = 12029,         // refused or unreachable; a proxy that refused CONNECT
    kInetConnectionAborted = 12030,     // the peer closed or reset the connection mid-exchange
    kInetInvalidResponse = 12152,       // not an HTTP response, or framing that cannot be read
    kInetSecureFailure = 12175,         // the TLS handshake failed for another reason
};

// The kind of failure an error number stands for; inBody: it ended a response's body (a
// connection that closes there cuts the body short).
constexpr FailureKind FailureKindOf(InetError error, bool inBody) {
    switch (error) {
        case kInetOk:
            return FailureKind::None;
        case kInetBodyOverLimit:
            return FailureKind::BodyLimit;
        case kInetTimeout:
            return FailureKind::Timeout;
        case kInetNameNotResolved:
            return FailureKind::NameResolution;
        case kInetCannotConnect:
            return FailureKind::Connect;
        case kInetConnectionAborted:
            return inBody ? FailureKind::BodyCutShort : FailureKind::ConnectionClosed;
        case kInetInvalidResponse:
            return FailureKind::Protocol;
        case kInetSecureFailure:
        case kInetCertificateName:
        case kInetCertificateUntrusted:
            return FailureKind::Tls;
        case kInetCancelled:
            return FailureKind::Cancelled;
        case kInetInvalidParameter:
        case kInetInternalError:
            break;
    }
    return FailureKind::Internal;
}

}  // namespace RVUtil::transport

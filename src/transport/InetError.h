#pragma once

#include "RVUtil/WinTypes.h"

// The reasons the transport gives for a failure. They stand where the platform's last-error
// value stood, so they reach the fetcher's log lines as numbers; the numbers follow the
// platform's internet error range so that a reader of old and new logs sees the same values.
// This is the one place they are defined.
namespace RVUtil::transport {

enum InetError : DWORD {
    kInetOk = 0,
    kInetBodyOverLimit = 8,          // a body beyond the process's body limit (no memory for it)
    kInetInvalidParameter = 87,      // a negative or missing request body
    kInetTimeout = 12002,            // connect, send or receive took longer than allowed
    kInetInternalError = 12004,      // out of memory or descriptors, an unexpected state
    kInetNameNotResolved = 12007,    // the host name (or the proxy's) did not resolve
    kInetCannotConnect = 12029,      // refused or unreachable; a proxy that refused CONNECT
    kInetConnectionAborted = 12030,  // the peer closed or reset the connection mid-exchange
    kInetInvalidResponse = 12152,    // not an HTTP response, or framing that cannot be read
    kInetSecureFailure = 12175,      // TLS handshake failed: untrusted or wrong-name peer
};

}  // namespace RVUtil::transport

#pragma once

#include <string>
#include <string_view>

namespace rvfetch {

// What rvfetch reads from a response's header block as received: the status, its reason
// phrase and the Location header. A block may hold several heads (a proxy's answer to
// CONNECT, an interim 100 Continue); the last one is the response's.
struct ResponseHead {
    int status = 0;  // 0: no status line
    std::string reason;
    bool hasLocation = false;
    std::string location;

    // "404 Not Found", "301" without a reason phrase; empty without a status.
    std::string StatusText() const;
};

ResponseHead ReadResponseHead(std::string_view block);

}  // namespace rvfetch

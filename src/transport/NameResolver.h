#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/InetError.h"

// Host names looked up within a time-out. The system resolver call blocks for as long as its
// own configuration says (10 s and more for a name server that never answers), so each
// lookup runs on a thread of its own and the caller waits only for what its time-out allows.
namespace RVUtil::transport {

// One IPv4 or IPv6 address of a host, ready for connect().
struct ResolvedAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

class NameResolver {
  public:
    // Lookups given up on that may still be running at once, in the whole process. Past it a
    // new lookup fails at once: a host that keeps asking a dead resolver must not gather
    // threads without end. Each given-up lookup ends when the system resolver answers.
    static constexpr int kMaxAbandoned = 4;

    // The TCP addresses of host (a name, not an address literal) for port, in the resolver's
    // order. On failure *detail says why: for a time-out (kInetTimeout) the step that ran out
    // of time, "resolving <host>", since only the caller knows the whole time-out; for a name
    // that does not resolve (kInetNameNotResolved) "host name not resolved: <host>", or that
    // the lookup was refused for the given-up lookups still running. A lookup that outlives
    // timeout is left to finish on its own thread, which frees everything it holds.
    static InetError Resolve(const std::string& host, std::uint16_t port,
                             std::chrono::milliseconds timeout,
                             std::vector<ResolvedAddress>* addresses, std::string* detail);
};

}  // namespace RVUtil::transport

#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/TlsTrust.h"

// The idle keep-alive connections of one session, kept for later requests to the same
// server.
namespace RVUtil::transport {

class NetStream;

// What a connection was opened for. A pooled connection only carries requests with an equal
// key: same host (as written), port, TLS or not and with which trust, and same proxy.
struct StreamKey {
    std::string host;
    std::uint16_t port = 0;
    bool tls = false;
    TlsTrust trust;
    std::string proxy;  // "host:port user" of the proxy the connection goes through; empty: direct

    bool operator==(const StreamKey&) const = default;
};

class ConnectionPool {
  public:
    ConnectionPool();
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // The most recently pooled live connection for key, or null. Connections the peer has
    // closed meanwhile, or that sat idle too long, are dropped on the way.
    std::unique_ptr<NetStream> TakeIdle(const StreamKey& key) noexcept;
    // Keeps stream for a later request; after Close it is closed instead.
    void PutIdle(const StreamKey& key, std::unique_ptr<NetStream> stream) noexcept;
    // Closes every idle connection and stops pooling.
    void Close();
    std::size_t IdleCountForTesting() const;

  private:
    struct Idle;

    // Requests of one session run on one thread at a time; the lock only keeps the pool
    // sound should a host break that rule.
    mutable std::mutex m_lock;
    std::vector<Idle> m_idle;
    bool m_closed = false;
};

}  // namespace RVUtil::transport

#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/SystemProxy.h"
#include "transport/InetError.h"
#include "transport/NetStream.h"

// The transport's session: the system's proxy configuration as it was when the session
// opened, the I/O loop its requests run on, and a pool of idle keep-alive connections that
// later requests of the same session reuse.
namespace RVUtil::transport {

class NetContext;
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

// The part of a session that its requests share. It lives until the session handle and the
// last request made through it are gone, so a request may end after its session closed.
class SessionState {
  public:
    SessionState(std::shared_ptr<NetContext> context, platform::SystemProxySettings proxies);
    ~SessionState();
    SessionState(const SessionState&) = delete;
    SessionState& operator=(const SessionState&) = delete;

    const std::shared_ptr<NetContext>& Context() const { return m_context; }
    const platform::SystemProxySettings& Proxies() const { return m_proxies; }

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

    std::shared_ptr<NetContext> m_context;
    platform::SystemProxySettings m_proxies;
    // Requests of one session run on one thread at a time; the lock only keeps the pool
    // sound should a host break that rule.
    mutable std::mutex m_lock;
    std::vector<Idle> m_idle;
    bool m_closed = false;
};

class Session {
  public:
    // Reads the system's proxy configuration and sets up the I/O loop. Null when the loop
    // cannot be set up; *error then tells why.
    static std::unique_ptr<Session> Open(InetError* error);
    // Closes the pooled connections. Requests still open finish with what they hold.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::shared_ptr<SessionState>& State() const { return m_state; }

  private:
    explicit Session(std::shared_ptr<SessionState> state);
    std::shared_ptr<SessionState> m_state;
};

}  // namespace RVUtil::transport

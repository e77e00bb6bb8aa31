#pragma once

#include <memory>

#include "platform/SystemProxy.h"
#include "transport/ConnectionPool.h"
#include "transport/InetError.h"

// The transport's session: the system's proxy configuration as it was when the session
// opened, the I/O loop its requests run on, and the pool of idle keep-alive connections that
// later requests of the same session reuse.
namespace RVUtil::transport {

class NetContext;

// The part of a session that its requests share. It lives until the session handle and the
// last request made through it are gone, so a request may end after its session closed.
class SessionState {
  public:
    SessionState(std::shared_ptr<NetContext> context, platform::SystemProxySettings proxies);
    SessionState(const SessionState&) = delete;
    SessionState& operator=(const SessionState&) = delete;

    const std::shared_ptr<NetContext>& Context() const { return m_context; }
    const platform::SystemProxySettings& Proxies() const { return m_proxies; }
    ConnectionPool& Pool() { return m_pool; }

  private:
    std::shared_ptr<NetContext> m_context;
    platform::SystemProxySettings m_proxies;
    // Declared last: its connections close before the loop they run on can go.
    ConnectionPool m_pool;
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

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/SystemProxy.h"
#include "transport/NetStream.h"
#include "transport/TlsTrust.h"

// A connection names a server and carries the credentials, time-outs, proxies and TLS trust
// of the requests opened from it; it touches the network only when one of them is sent.
namespace RVUtil::transport {

class Session;
class SessionState;

// Used where a time-out of 0 (or none) is given: long enough for any sane server, short
// enough that a dead one never holds a caller for good.
constexpr Millis kDefaultConnectTimeout{30'000};
constexpr Millis kDefaultReceiveTimeout{60'000};

struct ConnectionSettings {
    std::string host;
    std::uint16_t port = 0;
    std::optional<std::string> user;
    std::optional<std::string> password;
    Millis connectTimeout = kDefaultConnectTimeout;
    Millis receiveTimeout = kDefaultReceiveTimeout;
    // The proxies of this connection's requests instead of the session's, when set.
    std::optional<platform::SystemProxySettings> proxies;
    TlsTrust trust;
    // A bound on each whole request, connecting to the end of the body; zero for none.
    Millis maxTime{0};
};

class Connection {
  public:
    // Null for a host that is empty or holds a blank or control character (it cannot name a
    // server and would break the Host line). user and password may be null; only when both
    // are given do requests carry them, as HTTP Basic credentials.
    static std::unique_ptr<Connection> Open(Session& session, std::string_view host,
                                            std::uint16_t port, const char* user,
                                            const char* password);
    // Time-outs for the requests opened from now on; 0 restores the default. The connect
    // time-out bounds establishing a TCP connection. The receive time-out T bounds the proxy
    // tunnel, the TLS handshake and sending the request each; then the whole response head,
    // interim answers included, must arrive within T of the request being sent, and the
    // body must bring at least 1 KiB (or its end) in every T (see ReceiveDeadline). Connects
    // are never retried.
    void SetConnectTimeout(Millis timeout);
    void SetReceiveTimeout(Millis timeout);
    // The proxy settings of the requests opened from now on, instead of the session's.
    void SetProxies(platform::SystemProxySettings proxies);
    // What the TLS peers of the requests opened from now on must show.
    void SetTlsTrust(TlsTrust trust);
    // A bound on each whole request opened from now on, every wait included; 0 for none.
    void SetMaxTime(Millis maxTime);

  private:
    friend class Request;
    Connection(std::shared_ptr<SessionState> session, std::shared_ptr<ConnectionSettings> settings);

    std::shared_ptr<SessionState> m_session;
    std::shared_ptr<ConnectionSettings> m_settings;
};

}  // namespace RVUtil::transport

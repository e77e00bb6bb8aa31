#include "transport/Connection.h"

#include "platform/Ascii.h"
#include "transport/Session.h"

namespace RVUtil::transport {
namespace {

Millis OrDefault(Millis timeout, Millis fallback) {
    return timeout.count() == 0 ? fallback : timeout;
}

bool NamesAServer(std::string_view host) {
    if (host.empty()) {
        return false;
    }
    for (const char c : host) {
        if (c == ' ' || ascii::IsControl(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

Connection::Connection(std::shared_ptr<SessionState> session,
                       std::shared_ptr<ConnectionSettings> settings)
    : m_session(std::move(session)), m_settings(std::move(settings)) {}

std::unique_ptr<Connection> Connection::Open(Session& session, std::string_view host,
                                             std::uint16_t port, const char* user,
                                             const char* password) {
    if (!NamesAServer(host)) {
        return nullptr;
    }
    auto settings = std::make_shared<ConnectionSettings>();
    settings->host = std::string(host);
    settings->port = port;
    if (user != nullptr) {
        settings->user = user;
    }
    if (password != nullptr) {
        settings->password = password;
    }
    return std::unique_ptr<Connection>(new Connection(session.State(), std::move(settings)));
}

void Connection::SetConnectTimeout(Millis timeout) {
    m_settings->connectTimeout = OrDefault(timeout, kDefaultConnectTimeout);
}

void Connection::SetReceiveTimeout(Millis timeout) {
    m_settings->receiveTimeout = OrDefault(timeout, kDefaultReceiveTimeout);
}

void Connection::SetProxies(platform::SystemProxySettings proxies) {
    m_settings->proxies = std::move(proxies);
}

void Connection::SetTlsTrust(TlsTrust trust) {
    m_settings->trust = std::move(trust);
}

void Connection::SetMaxTime(Millis maxTime) {
    m_settings->maxTime = maxTime;
}

}  // namespace RVUtil::transport

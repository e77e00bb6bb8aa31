#include "transport/Session.h"

#include "transport/NetStream.h"

namespace RVUtil::transport {

SessionState::SessionState(std::shared_ptr<NetContext> context,
                           platform::SystemProxySettings proxies)
    : m_context(std::move(context)), m_proxies(std::move(proxies)) {}

Session::Session(std::shared_ptr<SessionState> state) : m_state(std::move(state)) {}

Session::~Session() {
    m_state->Pool().Close();
}

std::unique_ptr<Session> Session::Open(InetError* error) {
    try {
        std::shared_ptr<NetContext> context = NetContext::Create(error);
        if (!context) {
            return nullptr;
        }
        auto state =
            std::make_shared<SessionState>(std::move(context), platform::ReadSystemProxy());
        return std::unique_ptr<Session>(new Session(std::move(state)));
    } catch (const std::exception&) {
        *error = kInetInternalError;
        return nullptr;
    }
}

}  // namespace RVUtil::transport

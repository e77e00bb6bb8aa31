#include "transport/InetSession.h"

#include <algorithm>

#include "transport/NetStream.h"

namespace RVUtil::transport {
namespace {

// Idle connections beyond this many are closed, the longest idle first.
constexpr std::size_t kMaxIdleStreams = 8;
// Servers close idle keep-alive connections after a while (commonly 5 to 75 s); a connection
// idle longer than this is closed rather than tried.
constexpr std::chrono::seconds kMaxIdleTime{60};

}  // namespace

struct SessionState::Idle {
    StreamKey key;
    std::unique_ptr<NetStream> stream;
    std::chrono::steady_clock::time_point since;
};

SessionState::SessionState(std::shared_ptr<NetContext> context,
                           platform::SystemProxySettings proxies)
    : m_context(std::move(context)), m_proxies(std::move(proxies)) {}

SessionState::~SessionState() {
    Close();
}

// Stale entries met on the way are closed as they are dropped. Nothing here allocates, so
// finding no connection never turns into an allocation failure in the caller's request.
std::unique_ptr<NetStream> SessionState::TakeIdle(const StreamKey& key) noexcept {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t i = m_idle.size(); i-- > 0;) {
        if (!(m_idle[i].key == key)) {
            continue;
        }
        Idle entry = std::move(m_idle[i]);
        m_idle.erase(m_idle.begin() + static_cast<std::ptrdiff_t>(i));
        if (now - entry.since <= kMaxIdleTime && entry.stream->IsIdleAndOpen()) {
            return std::move(entry.stream);
        }
    }
    return nullptr;
}

// Pooling only saves a connect: when the entry cannot be made (no memory for it) the
// connection is closed instead. A request's destructor calls this, so it never throws.
void SessionState::PutIdle(const StreamKey& key, std::unique_ptr<NetStream> stream) noexcept {
    std::unique_ptr<NetStream> evicted;  // closed after the lock is left
    try {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed) {
            return;  // stream closes as it goes out of scope
        }
        Idle entry{key, std::move(stream), std::chrono::steady_clock::now()};
        if (m_idle.size() >= kMaxIdleStreams) {
            evicted = std::move(m_idle.front().stream);
            m_idle.erase(m_idle.begin());
        }
        m_idle.push_back(std::move(entry));
    } catch (const std::exception&) {
    }
}

void SessionState::Close() {
    std::vector<Idle> dropped;
    std::lock_guard<std::mutex> guard(m_lock);
    m_closed = true;
    dropped.swap(m_idle);
}

std::size_t SessionState::IdleCountForTesting() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_idle.size();
}

Session::Session(std::shared_ptr<SessionState> state) : m_state(std::move(state)) {}

Session::~Session() {
    m_state->Close();
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

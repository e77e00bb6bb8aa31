#include "transport/ConnectionPool.h"

#include "transport/NetStream.h"

namespace RVUtil::transport {
namespace {

// Idle connections beyond this many are closed, the longest idle first.
constexpr std::size_t kMaxIdleStreams = 8;
// Servers close idle keep-alive connections after a while (commonly 5 to 75 s); a connection
// idle longer than this is closed rather than tried.
constexpr std::chrono::seconds kMaxIdleTime{60};

}  // namespace

struct ConnectionPool::Idle {
    StreamKey key;
    std::unique_ptr<NetStream> stream;
    std::chrono::steady_clock::time_point since;
};

ConnectionPool::ConnectionPool() = default;

ConnectionPool::~ConnectionPool() {
    Close();
}

// Stale entries met on the way are closed as they are dropped. Nothing here allocates, so
// finding no connection never turns into an allocation failure in the caller's request.
std::unique_ptr<NetStream> ConnectionPool::TakeIdle(const StreamKey& key) noexcept {
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
void ConnectionPool::PutIdle(const StreamKey& key, std::unique_ptr<NetStream> stream) noexcept {
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

void ConnectionPool::Close() {
    std::vector<Idle> dropped;
    std::lock_guard<std::mutex> guard(m_lock);
    m_closed = true;
    dropped.swap(m_idle);
}

std::size_t ConnectionPool::IdleCountForTesting() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_idle.size();
}

}  // namespace RVUtil::transport

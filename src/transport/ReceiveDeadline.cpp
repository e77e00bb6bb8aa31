#include "transport/ReceiveDeadline.h"

#include <algorithm>

namespace RVUtil::transport {

void ReceiveDeadline::StartHead(Millis window) {
    m_window = window;
    m_end = Clock::now() + window;
    m_body = false;
    m_progress = 0;
}

void ReceiveDeadline::StartBody() {
    m_end = Clock::now() + m_window;
    m_body = true;
    m_progress = 0;
}

InetError ReceiveDeadline::Read(NetStream& stream, char* data, std::size_t size,
                                std::size_t* received) {
    *received = 0;
    const auto left = std::chrono::ceil<Millis>(std::min(m_end, m_last) - Clock::now());
    if (left.count() <= 0) {
        return kInetTimeout;
    }
    const InetError error = stream.ReadSome(data, size, left, received);
    if (m_body && *received > 0) {
        m_progress += *received;
        if (m_progress >= kMinBodyProgress) {
            StartBody();
        }
    }
    return error;
}

Millis Within(Millis timeout, ReceiveDeadline::Clock::time_point last) {
    if (last == ReceiveDeadline::Clock::time_point::max()) {
        return timeout;
    }
    const auto left = std::chrono::ceil<Millis>(last - ReceiveDeadline::Clock::now());
    return std::clamp(left, Millis(0), timeout);
}

std::string TimedOut(Millis limit, std::string_view what) {
    std::string text = "timed out after " + std::to_string(limit.count()) + " ms";
    if (!what.empty()) {
        text.append(" ").append(what);
    }
    return text;
}

}  // namespace RVUtil::transport

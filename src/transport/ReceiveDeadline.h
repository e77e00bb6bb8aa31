#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "transport/InetError.h"
#include "transport/NetStream.h"

// How long a response may take, as one rule for every wait after the request went out. The
// head, interim answers included, must be complete within one window of the request being
// sent. From then on the body must keep moving: at least kMinBodyProgress bytes (or its end)
// in every window. A server that trickles a byte now and then therefore holds a caller for
// about one window, never for as long as it likes, which a time-out per read would allow.
// A bound on the whole request, when there is one, caps these waits and the ones before
// them (Within), and every time-out is told in the same words (TimedOut).
namespace RVUtil::transport {

class ReceiveDeadline {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::size_t kMinBodyProgress = 1024;

    // A fixed deadline one window from now, for a response head.
    void StartHead(Millis window);
    // A new window from now, after which each kMinBodyProgress bytes received opens the next.
    void StartBody();
    // No wait goes past this moment, whatever the windows say (a bound on the whole request).
    void Cap(Clock::time_point last) { m_last = last; }
    Millis Window() const { return m_window; }

    // One read from stream bounded by what is left of the window: kInetTimeout at once when
    // nothing is left. *received 0 with kInetOk means the stream has ended.
    InetError Read(NetStream& stream, char* data, std::size_t size, std::size_t* received);

  private:
    Millis m_window{0};
    Clock::time_point m_end{};
    Clock::time_point m_last = Clock::time_point::max();
    bool m_body = false;
    std::size_t m_progress = 0;  // body bytes received in the current window
};

// timeout, or less when last (a bound on the whole request) comes sooner; 0 once it has
// passed. For the waits before a response: connecting, the tunnel, the handshake, sending.
Millis Within(Millis timeout, ReceiveDeadline::Clock::time_point last);

// "timed out after <limit> ms <what>": the words of a failure by time-out.
std::string TimedOut(Millis limit, std::string_view what);

}  // namespace RVUtil::transport

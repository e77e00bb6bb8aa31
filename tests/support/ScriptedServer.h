#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "loopback/LoopbackServer.h"

namespace rvtest {

using loopback::Chunked;
using loopback::HeaderLines;
using loopback::HttpResponse;
using loopback::Reply;
using RecordedRequest = loopback::ReceivedRequest;

// A loopback server that answers each request with the next scripted Reply (or the default
// reply once none is queued; with neither it closes the connection) and records every
// request it received.
class ScriptedServer {
  public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return m_server.Port(); }
    std::string Url(std::string_view path = "/") const { return m_server.Url(path); }

    void Enqueue(Reply reply);
    // Answers every request for which no scripted reply is queued; keep-alive mode when the
    // reply leaves the connection open.
    void SetDefaultReply(Reply reply);
    // Forgets queued replies, the default reply and the records.
    void Clear();

    std::vector<RecordedRequest> Requests() const;
    std::size_t RequestCount() const;
    std::size_t ConnectionCount() const { return m_server.ConnectionCount(); }
    // True once at least count requests have been read.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // Ends every connection and the listener; the destructor calls it.
    void Stop() { m_server.Stop(); }

  private:
    std::shared_ptr<const Reply> Answer(RecordedRequest&& request);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_received;
    std::deque<std::shared_ptr<const Reply>> m_replies;
    std::shared_ptr<const Reply> m_defaultReply;
    std::vector<RecordedRequest> m_requests;
    std::size_t m_requestCount = 0;
    // Last, so that it stops, and no longer calls Answer, before the script goes.
    loopback::Server m_server;
};

// A loopback URL whose port refused connections a moment ago: a server's, stopped at once.
std::string RefusedUrl(std::string_view path = "/");

}  // namespace rvtest

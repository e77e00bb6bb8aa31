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
#include <thread>
#include <utility>
#include <vector>

namespace rvtest {

// What the server does after it has read one request: the exact bytes it sends, pauses,
// and how the connection ends. A reply that neither closes, resets nor hangs leaves the
// connection open for the next request (keep-alive).
class Reply {
  public:
    struct Action {
        enum Kind { Send, Delay, Close, Reset, Hang } kind;
        std::string bytes;
        std::chrono::milliseconds delay{0};
    };

    Reply() = default;
    explicit Reply(std::string raw) { Send(std::move(raw)); }

    Reply& Send(std::string bytes);
    // Sends bytes in pieces of chunk bytes with a pause after each piece.
    Reply& Trickle(std::string_view bytes, std::size_t chunk, std::chrono::milliseconds pause);
    Reply& Delay(std::chrono::milliseconds pause);
    Reply& Close();  // orderly shutdown (FIN) after what came before
    Reply& Reset();  // abortive close (RST)
    Reply& Hang();   // sends nothing more and keeps the connection until the server stops

    const std::vector<Action>& Actions() const { return m_actions; }

  private:
    std::vector<Action> m_actions;
};

using HeaderLines = std::vector<std::pair<std::string, std::string>>;

// "HTTP/1.1 <status> <reason>\r\n", the header lines, Content-Length (unless the headers
// name a length or a transfer coding already), the blank line and the body.
std::string HttpResponse(int status, std::string_view body, const HeaderLines& headers = {},
                         std::string_view reason = "");
// body in the chunked transfer coding, chunk bytes at a time, with the final empty chunk.
std::string Chunked(std::string_view body, std::size_t chunk);

struct RecordedRequest {
    std::size_t connection;  // 0 for the first connection accepted, and so on
    std::string bytes;       // request line, header lines, blank line and body, as received
    std::string_view Head() const;
    std::string_view Body() const;
    std::string RequestLine() const;
};

// An HTTP server on 127.0.0.1 and a port the system picks, which answers each request with
// the next scripted Reply (or the default reply once none is queued; with neither it
// closes the connection) and records every request it received. Each connection runs on
// its own thread, so a hanging reply does not hold up the next connection.
class ScriptedServer {
  public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string Url(std::string_view path = "/") const;

    void Enqueue(Reply reply);
    // Answers every request for which no scripted reply is queued; keep-alive mode when the
    // reply leaves the connection open.
    void SetDefaultReply(Reply reply);
    // Whether request bytes are kept (a long benchmark run would otherwise grow without end).
    void SetRecording(bool on);
    // Forgets queued replies, the default reply and the records.
    void Clear();

    std::vector<RecordedRequest> Requests() const;
    std::size_t RequestCount() const;
    std::size_t ConnectionCount() const;
    // True once at least count requests have been read.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // Ends every connection and the listener; the destructor calls it.
    void Stop();

  private:
    void AcceptLoop();
    void Serve(int fd, std::size_t connection);
    bool Perform(int fd, const Reply& reply);
    bool Pause(std::chrono::milliseconds pause);
    std::shared_ptr<const Reply> NextReply();
    void Forget(int fd);

    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_stopping = false;
    bool m_recording = true;
    std::deque<std::shared_ptr<const Reply>> m_replies;
    std::shared_ptr<const Reply> m_defaultReply;
    std::vector<RecordedRequest> m_requests;
    std::size_t m_requestCount = 0;
    std::size_t m_connections = 0;
    std::vector<int> m_openFds;
    std::vector<std::thread> m_connectionThreads;
};

}  // namespace rvtest

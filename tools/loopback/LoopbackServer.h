#pragma once

#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1, for rvfetch's demonstration, the test suites and the
// benchmarks. It is no part of the library: it answers what its owner scripts, byte for
// byte, and speaks only as much HTTP as it takes to read a request.
namespace loopback {

// What the server does after it has read one request: the exact bytes it sends, pauses,
// and how the connection ends. A reply that neither closes, resets nor hangs leaves the
// connection open for the next request (keep-alive).
class Reply {
  public:
    struct Action {
        enum Kind { Send, Repeat, Delay, Close, Reset, Hang, CloseIfIdle } kind;
        std::string bytes;
        std::chrono::milliseconds delay{0};
        std::size_t total = 0;  // Repeat: how many bytes of the repeated bytes go out
    };

    Reply() = default;
    explicit Reply(std::string raw) { Send(std::move(raw)); }

    Reply& Send(std::string bytes);
    // Sends total bytes made of bytes repeated (the last copy cut), without holding them: a
    // body of any size.
    Reply& Repeat(std::string bytes, std::size_t total);
    // Sends bytes in pieces of chunk bytes with a pause after each piece.
    Reply& Trickle(std::string_view bytes, std::size_t chunk, std::chrono::milliseconds pause);
    Reply& Delay(std::chrono::milliseconds pause);
    Reply& Close();  // orderly shutdown (FIN) after what came before
    Reply& Reset();  // abortive close (RST)
    Reply& Hang();   // sends nothing more and keeps the connection until it is ended
    // Keeps the connection for a next request that starts within idle and closes it (FIN)
    // otherwise, as a server's keep-alive time-out does; the last action of a reply.
    Reply& CloseIfIdle(std::chrono::milliseconds idle);

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

// One request as the server read it.
struct ReceivedRequest {
    std::size_t connection;  // 0 for the first connection accepted, and so on
    std::string bytes;       // request line, header lines, blank line and body, as received
    std::string_view Head() const;
    std::string_view Body() const;
    std::string RequestLine() const;
    // The request target: the second word of the request line.
    std::string_view Target() const;
};

// 127.0.0.1:port.
sockaddr_in LoopbackAddress(std::uint16_t port);
// Sends all of bytes on a socket (no SIGPIPE); false once the connection fails.
bool SendAll(int fd, std::string_view bytes);

// Listens on a port the system picks and answers each request (its head, then
// Content-Length bytes of body; "Expect: 100-continue" is answered first) with the reply the
// responder gives, closing the connection when it gives none. Each connection runs on its
// own thread, so a hanging reply does not hold up the next connection. The responder is
// called from those threads.
class Server {
  public:
    using Responder = std::function<std::shared_ptr<const Reply>(ReceivedRequest&&)>;

    explicit Server(Responder responder);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    std::uint16_t Port() const { return m_port; }
    // http://127.0.0.1:<port> and path, with a '/' between them if path has none.
    std::string Url(std::string_view path = "/") const;
    std::size_t ConnectionCount() const;

    // Ends every open connection, hanging and pausing replies included, and returns once
    // their threads are gone; the listener goes on accepting, so that an owner can start
    // each round from a server that holds no connection, on the same port.
    void EndConnections();
    // Ends every connection and the listener; the destructor calls it.
    void Stop();

  private:
    void AcceptLoop();
    void Serve(int fd, std::size_t connection);
    bool Perform(int fd, const Reply& reply, bool requestWaiting);
    bool Pause(int fd, std::chrono::milliseconds pause);
    bool IsOpen(int fd) const;  // under m_mutex
    void Forget(int fd);

    Responder m_responder;
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    std::condition_variable m_ended;  // EndConnections ended what m_openFds held
    bool m_stopping = false;
    std::size_t m_connections = 0;
    std::vector<int> m_openFds;  // connections not yet ended
    std::vector<std::thread> m_connectionThreads;
};

}  // namespace loopback

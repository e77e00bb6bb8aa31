#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace rvfuzz {

struct ScriptedResponse {
    std::string bytes;      // sent as they are, whatever they hold
    bool keepOpen = false;  // leave the connection to the client instead of closing it
};

// The loopback server of the end-to-end targets. It answers a request for "/<n>", on
// whichever connection, with the n-th scripted response (a client that tries again gets
// the same bytes again), then closes its side of that connection (FIN after the bytes),
// or for a response kept open leaves the connection to the client:
// open for the client's next request, closed once the client is still waiting a short
// while after the response went out and Answered() has not been called. A response that
// can never complete (a body shorter than its length, no end of head) therefore ends in
// a close instead of a time-out. One thread serves every connection; nothing is ever
// written to a connection that could block the server.
class RawResponseServer {
  public:
    RawResponseServer();
    ~RawResponseServer();
    RawResponseServer(const RawResponseServer&) = delete;
    RawResponseServer& operator=(const RawResponseServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // Closes every connection, then answers requests with these responses; a request for
    // anything else is closed unanswered. Returns once the old connections are gone, so
    // that every input starts from the same state.
    void Script(std::vector<ScriptedResponse> responses);
    // The client has finished with the response it last received: a connection kept open
    // stays open.
    void Answered();

  private:
    using Clock = std::chrono::steady_clock;
    struct Connection {
        int fd = -1;
        std::string in;
        std::string out;
        bool answered = false;  // a response went out on it and is not yet fully sent
        bool closeAfter = false;
        bool writeShut = false;
        bool dead = false;
        std::optional<Clock::time_point> holdUntil;
    };

    void Run();
    void Receive(Connection& c);
    void Flush(Connection& c);
    void ShutWrite(Connection& c);
    void Wake();

    int m_listenFd = -1;
    int m_wake[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::thread m_thread;

    std::mutex m_mutex;
    std::condition_variable m_reset;
    bool m_stopping = false;
    unsigned m_resetsAsked = 0;
    unsigned m_resetsDone = 0;
    std::vector<ScriptedResponse> m_script;
    std::vector<Connection> m_connections;
};

}  // namespace rvfuzz

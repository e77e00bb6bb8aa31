#pragma once

#include <cstdint>
#include <mutex>
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
// the same bytes again), then closes its side of that connection (FIN after the bytes), or
// for a response kept open leaves the connection open for the client's next request,
// closing it only when the client is still waiting a short while after the response went
// out and Answered() has not been called. A response that can never complete (a body
// shorter than its length, no end of head) therefore ends in a close instead of a
// time-out. Each connection has a thread of its own.
class RawResponseServer {
  public:
    RawResponseServer();
    ~RawResponseServer();
    RawResponseServer(const RawResponseServer&) = delete;
    RawResponseServer& operator=(const RawResponseServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // Ends every connection, then answers requests with these responses; a request for
    // anything else is closed unanswered. Returns once the old connections are gone, so
    // that every input starts from the same state.
    void Script(std::vector<ScriptedResponse> responses);
    // The client has finished with the response it last received: a connection kept open
    // stays open.
    void Answered();

  private:
    void Serve(int fd);
    void EndConnections();

    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::thread m_acceptThread;

    std::mutex m_mutex;
    std::vector<ScriptedResponse> m_script;
    unsigned m_answered = 0;
    std::vector<int> m_fds;
    std::vector<std::thread> m_threads;
};

}  // namespace rvfuzz

#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace rvfetch {

// A small HTTP/1.1 server on 127.0.0.1 (a port the kernel picks) that serves the demo's
// sample resources, with keep-alive, until it is destroyed.
class DemoServer {
  public:
    struct Resource {
        std::string path;
        std::string description;
    };

    DemoServer();
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::string url(const std::string& path) const;
    static const std::vector<Resource>& resources();

  private:
    void acceptLoop();
    void serve(int client);

    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;
    std::vector<std::thread> m_connections;
};

}  // namespace rvfetch

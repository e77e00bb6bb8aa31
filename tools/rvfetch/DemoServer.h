#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loopback/LoopbackServer.h"

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

    std::uint16_t Port() const { return m_server.Port(); }
    std::string Url(const std::string& path) const { return m_server.Url(path); }
    static const std::vector<Resource>& Resources();

  private:
    loopback::Server m_server;
};

}  // namespace rvfetch

#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ChildProcess.h"

namespace rvtest {

// A real nginx serving a small site over TLS with a certificate of the test certificate
// authority (TestCertificates), on a port picked free and, when it can be bound, on
// 127.0.0.1:443 as well: the port on which CRVHttpFetcher chooses TLS. Stopped, and its
// folder removed, on destruction.
class TlsWebServer {
  public:
    TlsWebServer() = default;
    ~TlsWebServer();
    TlsWebServer(const TlsWebServer&) = delete;
    TlsWebServer& operator=(const TlsWebServer&) = delete;

    // False with a reason (Problem) when nginx is missing or will not start. Waits up to a
    // minute for port 443 while another test program holds it; without it (no privilege)
    // the server starts on the picked port alone.
    bool Start();
    const std::string& Problem() const { return m_problem; }

    bool OnPort443() const { return m_on443; }
    std::string SiteFile(const std::string& name) const;

  private:
    bool Launch(const std::string& program, bool with443);

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ChildProcess> m_web;
    std::uint16_t m_port = 0;
    bool m_on443 = false;
    std::string m_problem;
};

}  // namespace rvtest

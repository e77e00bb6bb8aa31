#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ChildProcess.h"

namespace rvtest {

// A real nginx and a real forward proxy (tinyproxy) on loopback ports picked at start, with
// every file (configuration, site, logs, temporary folders) under one temporary folder.
// Both are stopped, and the folder removed, on TearDown or destruction.
class LocalServices {
  public:
    LocalServices() = default;
    ~LocalServices();
    LocalServices(const LocalServices&) = delete;
    LocalServices& operator=(const LocalServices&) = delete;

    // Starts both; false with a reason (Problem) when a program is missing or will not start.
    bool Start();
    void Stop();
    const std::string& Problem() const { return m_problem; }

    std::string WebUrl(const std::string& path) const;
    std::uint16_t WebPort() const { return m_webPort; }
    std::uint16_t ProxyPort() const { return m_proxyPort; }
    std::string ProxyUrl() const;
    std::string SiteFile(const std::string& name) const;
    std::string WebAccessLog() const;
    std::string ProxyLog() const;
    // The name the proxy puts in the Via header of what it forwards.
    static constexpr const char* kProxyName = "rvutil-test-proxy";

  private:
    bool StartWeb(const std::string& program);
    bool StartProxy(const std::string& program);
    void WriteSite();

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ChildProcess> m_web;
    std::unique_ptr<ChildProcess> m_proxy;
    std::uint16_t m_webPort = 0;
    std::uint16_t m_proxyPort = 0;
    std::string m_problem;
};

}  // namespace rvtest

#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
    std::string ProxyUrl() const;
    std::string SiteFile(const std::string& name) const;
    // The proxy's log once it holds `awaited` (it writes a line just after it answers).
    std::string ProxyLog(const std::string& awaited = {}) const;
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

// An nginx configuration for one process without workers, everything under dir: the
// preamble with logs (one access line per request with its connection number and the
// request's number on it) and temporary folders, then `server` inside the http block.
// @DIR@ in server stands for dir; each further field is replaced by its value.
std::string NginxConfig(const std::string& dir, const std::string& server,
                        const std::vector<std::pair<std::string, std::string>>& fields = {});
// Runs nginx with dir/web.conf holding config; null unless it answers on port in time.
std::unique_ptr<ChildProcess> StartNginx(const std::string& program, const std::string& dir,
                                         const std::string& config, std::uint16_t port);

}  // namespace rvtest

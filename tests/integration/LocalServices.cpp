#include "LocalServices.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace rvtest {

namespace {

using namespace std::chrono_literals;

// A port picked free can be taken by someone else before the program binds it; a few
// attempts with fresh ports make that race harmless.
constexpr int kStartAttempts = 4;

std::string SampleSiteText() {
    std::string text;
    for (int i = 0; text.size() < 200 * 1024; ++i) {
        text += "line " + std::to_string(i) + ": alpha bravo charlie delta echo foxtrot\n";
    }
    return text;
}

std::string Substitute(std::string text,
                       const std::vector<std::pair<std::string, std::string>>& fields) {
    for (const auto& [field, value] : fields) {
        for (std::size_t at = text.find(field); at != std::string::npos;
             at = text.find(field, at + value.size())) {
            text.replace(at, field.size(), value);
        }
    }
    return text;
}

}  // namespace

LocalServices::~LocalServices() {
    Stop();
}

bool LocalServices::Start() {
    const std::string web = FindProgram({"nginx"});
    const std::string proxy = FindProgram({"tinyproxy"});
    if (web.empty() || proxy.empty()) {
        m_problem = std::string("not installed:") + (web.empty() ? " nginx" : "") +
                    (proxy.empty() ? " tinyproxy" : "") + " (scripts/setup.sh installs them)";
        return false;
    }
    m_dir = std::make_unique<TempDir>("rvutil-integration");
    WriteSite();
    return StartWeb(web) && StartProxy(proxy);
}

void LocalServices::Stop() {
    m_proxy.reset();
    m_web.reset();
    m_dir.reset();
}

std::string LocalServices::WebUrl(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_webPort) + path;
}

std::string LocalServices::ProxyUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_proxyPort);
}

std::string LocalServices::SiteFile(const std::string& name) const {
    return ReadFile(*m_dir / ("www/" + name));
}

// The servers write a log line just after they answer: the log is read again until it
// holds what is awaited, or for at most 5 s.
std::string LocalServices::ProxyLog(const std::string& awaited) const {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    std::string text = ReadFile(*m_dir / "proxy.log");
    while (text.find(awaited) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
        text = ReadFile(*m_dir / "proxy.log");
    }
    return text;
}

void LocalServices::WriteSite() {
    std::filesystem::create_directories(*m_dir / "www/sub");
    WriteFile(*m_dir / "www/index.html", "<html><body>hello</body></html>\n");
    WriteFile(*m_dir / "www/big.txt", SampleSiteText());
    WriteFile(*m_dir / "www/sub/page.txt", SampleSiteText().substr(0, 50000));
}

std::string NginxConfig(const std::string& dir, const std::string& server,
                        const std::vector<std::pair<std::string, std::string>>& fields) {
    std::vector<std::pair<std::string, std::string>> all = fields;
    all.emplace_back("@DIR@", dir);
    return Substitute(R"(daemon off;
master_process off;
pid @DIR@/web.pid;
error_log @DIR@/web-error.log info;
events { worker_connections 128; }
http {
    types { text/html html; text/plain txt; }
    default_type application/octet-stream;
    log_format conn '$request $status conn=$connection n=$connection_requests';
    access_log @DIR@/web-access.log conn;
    client_body_temp_path @DIR@/web-temp/body;
    proxy_temp_path @DIR@/web-temp/proxy;
    fastcgi_temp_path @DIR@/web-temp/fastcgi;
    uwsgi_temp_path @DIR@/web-temp/uwsgi;
    scgi_temp_path @DIR@/web-temp/scgi;
)" + server + "}\n",
                      all);
}

namespace {

// Runs argv, its output in stem.out and stem.err; null unless it answers on port in time.
std::unique_ptr<ChildProcess> Launch(const std::vector<std::string>& argv, const std::string& stem,
                                     std::uint16_t port) {
    auto child =
        std::make_unique<ChildProcess>(argv, ChildProcess::Options{stem + ".out", stem + ".err"});
    return WaitForLoopbackPort(port, 10s) && child->Running() ? std::move(child) : nullptr;
}

}  // namespace

// One process, no workers: it keeps the starting account (which can read the private
// temporary folder) and nothing outlives it when the death signal ends it.
std::unique_ptr<ChildProcess> StartNginx(const std::string& program, const std::string& dir,
                                         const std::string& config, std::uint16_t port) {
    std::filesystem::create_directories(dir + "/web-temp");
    WriteFile(dir + "/web.conf", config);
    return Launch({program, "-p", dir, "-c", dir + "/web.conf", "-e", dir + "/web-error.log"},
                  dir + "/web", port);
}

bool LocalServices::StartWeb(const std::string& program) {
    const std::string dir = m_dir->Path();
    for (int attempt = 0; attempt < kStartAttempts && m_web == nullptr; ++attempt) {
        m_webPort = PickFreeLoopbackPort();
        // Rewriting the body under /sub/ drops its length, so that answer goes out chunked.
        m_web = StartNginx(program, dir,
                           NginxConfig(dir, R"(    keepalive_timeout 60s;
    keepalive_requests 1000;
    gzip on;
    gzip_types text/plain;
    gzip_min_length 20;
    gzip_proxied any;
    server {
        listen 127.0.0.1:@PORT@;
        root @DIR@/www;
        location = /post { return 200 "posted\n"; }
        # Redirects for the command-line host's -L: a relative and an absolute target and
        # another scheme.
        location = /moved { absolute_redirect off; return 301 index.html; }
        location = /found { return 302 http://127.0.0.1:@PORT@/sub/page.txt; }
        location = /elsewhere { return 302 file:///etc/passwd; }
        location /sub/ {
            sub_filter 'alpha' 'omega';
            sub_filter_once off;
            sub_filter_types text/plain;
        }
    }
)",
                                       {{"@PORT@", std::to_string(m_webPort)}}),
                           m_webPort);
    }
    if (m_web == nullptr) {
        m_problem =
            "nginx did not start: " + ReadFile(dir + "/web.err") + ReadFile(dir + "/web-error.log");
    }
    return m_web != nullptr;
}

bool LocalServices::StartProxy(const std::string& program) {
    const std::string dir = m_dir->Path();
    for (int attempt = 0; attempt < kStartAttempts && m_proxy == nullptr; ++attempt) {
        m_proxyPort = PickFreeLoopbackPort();
        const std::string config = Substitute(
            R"(Port @PORT@
Listen 127.0.0.1
Timeout 30
LogFile "@DIR@/proxy.log"
LogLevel Info
PidFile "@DIR@/proxy.pid"
MaxClients 20
Allow 127.0.0.1
ViaProxyName "@NAME@"
)",
            {{"@DIR@", dir}, {"@PORT@", std::to_string(m_proxyPort)}, {"@NAME@", kProxyName}});
        WriteFile(dir + "/proxy.conf", config);
        m_proxy = Launch({program, "-d", "-c", dir + "/proxy.conf"}, dir + "/proxy", m_proxyPort);
    }
    if (m_proxy == nullptr) {
        m_problem = "tinyproxy did not start: " + ReadFile(dir + "/proxy.err") +
                    ReadFile(dir + "/proxy.log");
    }
    return m_proxy != nullptr;
}

}  // namespace rvtest

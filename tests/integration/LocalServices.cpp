#include "LocalServices.h"

#include <chrono>
#include <filesystem>

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

// The configuration text with @DIR@, @PORT@ and @NAME@ filled in.
std::string Substitute(std::string text, const std::string& dir, std::uint16_t port) {
    const std::pair<std::string, std::string> fields[] = {
        {"@DIR@", dir}, {"@PORT@", std::to_string(port)}, {"@NAME@", LocalServices::kProxyName}};
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

std::string LocalServices::WebAccessLog() const {
    return ReadFile(*m_dir / "web-access.log");
}

std::string LocalServices::ProxyLog() const {
    return ReadFile(*m_dir / "proxy.log");
}

void LocalServices::WriteSite() {
    std::filesystem::create_directories(*m_dir / "www/sub");
    std::filesystem::create_directories(*m_dir / "web-temp");
    WriteFile(*m_dir / "www/index.html", "<html><body>hello</body></html>\n");
    WriteFile(*m_dir / "www/big.txt", SampleSiteText());
    WriteFile(*m_dir / "www/sub/page.txt", SampleSiteText().substr(0, 50000));
}

bool LocalServices::StartWeb(const std::string& program) {
    const std::string dir = m_dir->Path();
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        m_webPort = PickFreeLoopbackPort();
        // One process, no workers: it keeps the starting account (which can read the private
        // temporary folder) and nothing outlives it when the death signal ends it. Rewriting
        // the body under /sub/ drops its length, so that answer goes out chunked.
        const std::string config = Substitute(R"(daemon off;
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
    keepalive_timeout 60s;
    keepalive_requests 1000;
    gzip on;
    gzip_types text/plain;
    gzip_min_length 20;
    gzip_proxied any;
    server {
        listen 127.0.0.1:@PORT@;
        root @DIR@/www;
        location = /post { return 200 "posted\n"; }
        location /sub/ {
            sub_filter 'alpha' 'omega';
            sub_filter_once off;
            sub_filter_types text/plain;
        }
    }
}
)",
                                              dir, m_webPort);
        WriteFile(dir + "/web.conf", config);
        m_web = std::make_unique<ChildProcess>(
            std::vector<std::string>{program, "-p", dir, "-c", dir + "/web.conf", "-e",
                                     dir + "/web-error.log"},
            ChildProcess::Options{dir + "/web.out", dir + "/web.err"});
        if (WaitForLoopbackPort(m_webPort, 10s) && m_web->Running()) {
            return true;
        }
        m_web.reset();
    }
    m_problem =
        "nginx did not start: " + ReadFile(dir + "/web.err") + ReadFile(dir + "/web-error.log");
    return false;
}

bool LocalServices::StartProxy(const std::string& program) {
    const std::string dir = m_dir->Path();
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        m_proxyPort = PickFreeLoopbackPort();
        const std::string config = Substitute(R"(Port @PORT@
Listen 127.0.0.1
Timeout 30
LogFile "@DIR@/proxy.log"
LogLevel Info
PidFile "@DIR@/proxy.pid"
MaxClients 20
Allow 127.0.0.1
ViaProxyName "@NAME@"
)",
                                              dir, m_proxyPort);
        WriteFile(dir + "/proxy.conf", config);
        m_proxy = std::make_unique<ChildProcess>(
            std::vector<std::string>{program, "-d", "-c", dir + "/proxy.conf"},
            ChildProcess::Options{dir + "/proxy.out", dir + "/proxy.err"});
        if (WaitForLoopbackPort(m_proxyPort, 10s) && m_proxy->Running()) {
            return true;
        }
        m_proxy.reset();
    }
    m_problem =
        "tinyproxy did not start: " + ReadFile(dir + "/proxy.err") + ReadFile(dir + "/proxy.log");
    return false;
}

}  // namespace rvtest

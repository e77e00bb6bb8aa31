#include "TlsWebServer.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "LocalServices.h"
#include "TestCertificates.h"

namespace rvtest {
namespace {

using namespace std::chrono_literals;

std::string siteText() {
    std::string text;
    for (int i = 0; text.size() < 100 * 1024; ++i) {
        text += "secure line " + std::to_string(i) + ": kilo lima mike november oscar\n";
    }
    return text;
}

}  // namespace

TlsWebServer::~TlsWebServer() {
    m_web.reset();
    m_dir.reset();
}

bool TlsWebServer::Start() {
    const std::string program = FindProgram({"nginx"});
    if (program.empty()) {
        m_problem = "not installed: nginx (scripts/setup.sh installs it)";
        return false;
    }
    m_dir = std::make_unique<TempDir>("rvutil-tls-web");
    std::filesystem::create_directories(*m_dir / "www");
    WriteFile(*m_dir / "www/index.html", "<html><body>secure hello</body></html>\n");
    WriteFile(*m_dir / "www/big.txt", siteText());

    // Port 443 is shared with other test programs that run at the same time; it is waited
    // for rather than given up at once.
    if (::geteuid() == 0) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Launch(program, true)) {
                m_on443 = true;
                return true;
            }
            std::this_thread::sleep_for(500ms);
        }
    }
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (Launch(program, false)) {
            return true;
        }
    }
    m_problem = "nginx (TLS) did not start: " + ReadFile(*m_dir / "web.err") +
                ReadFile(*m_dir / "web-error.log");
    return false;
}

bool TlsWebServer::Launch(const std::string& program, bool with443) {
    const std::string dir = m_dir->Path();
    const TestCertificates& certificates = TestCertificates::Get();
    m_port = PickFreeLoopbackPort();
    // 443 comes first: when it is taken, nginx logs so before it listens on the other port
    // (and goes on retrying for a while), so the log tells once the other port answers.
    const std::string listen = (with443 ? std::string("        listen 127.0.0.1:443 ssl;\n") : "") +
                               "        listen 127.0.0.1:" + std::to_string(m_port) + " ssl;\n";
    std::filesystem::remove(dir + "/web-error.log");
    m_web = StartNginx(program, dir,
                       NginxConfig(dir, R"(    gzip on;
    gzip_types text/plain;
    server {
@LISTEN@        ssl_certificate @CERT@;
        ssl_certificate_key @KEY@;
        root @DIR@/www;
    }
)",
                                   {{"@LISTEN@", listen},
                                    {"@CERT@", certificates.Loopback().certFile},
                                    {"@KEY@", certificates.Loopback().keyFile}}),
                       m_port);
    if (m_web != nullptr &&
        ReadFile(dir + "/web-error.log").find("bind() to 127.0.0.1:443 failed") !=
            std::string::npos) {
        m_web.reset();
    }
    return m_web != nullptr;
}

std::string TlsWebServer::SiteFile(const std::string& name) const {
    return ReadFile(*m_dir / ("www/" + name));
}

}  // namespace rvtest

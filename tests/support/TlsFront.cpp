#include "TlsFront.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace rvtest {

using namespace std::chrono_literals;

TlsFront::TlsFront(std::uint16_t backendPort, const std::string& certFile,
                   const std::string& keyFile, std::uint16_t port)
    : m_dir("rvutil-tls") {
    const std::string socat = FindProgram({"socat"});
    if (socat.empty()) {
        throw std::runtime_error("TlsFront: socat is not installed (scripts/setup.sh)");
    }
    const std::string log = m_dir / "socat.log";
    const std::vector<std::string> argv = {
        socat,
        "-d",
        "-d",
        "-lf",
        log,
        "OPENSSL-LISTEN:" + std::to_string(port) +
            ",bind=127.0.0.1,reuseaddr,fork,nodelay,verify=0,cert=" + certFile + ",key=" + keyFile,
        "TCP:127.0.0.1:" + std::to_string(backendPort) + ",nodelay"};
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    do {
        std::filesystem::remove(log);
        m_relay =
            std::make_unique<ChildProcess>(argv, ChildProcess::Options{"/dev/null", "/dev/null"});
        // socat notes the address it listens on (with the port the system picked), or leaves
        // when the port is taken.
        constexpr std::string_view kListening = " listening on AF=2 127.0.0.1:";
        while (m_relay->Running()) {
            const std::string text = ReadFile(log);
            if (const std::size_t at = text.find(kListening); at != std::string::npos) {
                m_port = static_cast<std::uint16_t>(
                    std::strtoul(text.c_str() + at + kListening.size(), nullptr, 10));
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
        std::this_thread::sleep_for(200ms);
    } while (std::chrono::steady_clock::now() < deadline);
}

}  // namespace rvtest

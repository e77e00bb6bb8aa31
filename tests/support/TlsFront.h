#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rvtest {

// The TLS variant of a loopback server: accepts TLS on 127.0.0.1 with a given certificate
// and relays the plaintext, byte for byte both ways, to a plain server on 127.0.0.1 (a
// ScriptedServer, say), so that a test scripts exact wire bytes under TLS too. When the
// plain server ends a connection the client sees a TLS close; when it resets one, a reset.
class TlsFront {
  public:
    // port 0: a port the system picks. A fixed port that is still in use by another test
    // program is waited for, up to 60 s; IsListening() tells whether it came free.
    TlsFront(std::uint16_t backendPort, const std::string& certFile, const std::string& keyFile,
             std::uint16_t port = 0);
    ~TlsFront();
    TlsFront(const TlsFront&) = delete;
    TlsFront& operator=(const TlsFront&) = delete;

    bool IsListening() const { return m_listenFd >= 0; }
    std::uint16_t Port() const { return m_port; }
    // Handshakes that failed, e.g. because the client refused the certificate.
    std::size_t FailedHandshakes() const { return m_failed.load(); }
    void Stop();

  private:
    void AcceptLoop();
    void Relay(int clientFd);

    SSL_CTX* m_ctx = nullptr;
    std::uint16_t m_backendPort;
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_failed{0};
    std::thread m_acceptThread;
    std::mutex m_mutex;
    std::vector<int> m_openFds;
    std::vector<std::thread> m_relays;
};

}  // namespace rvtest

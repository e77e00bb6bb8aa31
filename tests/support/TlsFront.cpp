#include "TlsFront.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>

#include "ChildProcess.h"

namespace rvtest {
namespace {

void resetAndClose(int fd) {
    linger abortive{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(fd);
}

}  // namespace

TlsFront::TlsFront(std::uint16_t backendPort, const std::string& certFile,
                   const std::string& keyFile, std::uint16_t port)
    : m_backendPort(backendPort) {
    // OpenSSL writes to the client socket with write(), which raises SIGPIPE once a client
    // has gone; the relay notices the failed write instead.
    ::signal(SIGPIPE, SIG_IGN);
    m_ctx = SSL_CTX_new(TLS_server_method());
    if (m_ctx == nullptr || SSL_CTX_use_certificate_chain_file(m_ctx, certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(m_ctx);
        throw std::runtime_error("TlsFront: cannot load " + certFile);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address = LoopbackAddress(port);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fd, 64) == 0) {
            socklen_t length = sizeof address;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
            m_listenFd = fd;
            m_port = ntohs(address.sin_port);
            break;
        }
        const int reason = errno;
        ::close(fd);
        if (reason != EADDRINUSE || std::chrono::steady_clock::now() > deadline) {
            return;  // not listening; a test skips
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

TlsFront::~TlsFront() {
    Stop();
    SSL_CTX_free(m_ctx);
}

void TlsFront::Stop() {
    if (m_stopping.exchange(true)) {
        return;
    }
    if (m_listenFd >= 0) {
        ::shutdown(m_listenFd, SHUT_RDWR);
    }
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        for (int fd : m_openFds) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    for (std::thread& relay : m_relays) {
        relay.join();
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
    }
}

void TlsFront::AcceptLoop() {
    while (!m_stopping) {
        const int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_stopping) {
            ::close(client);
            return;
        }
        m_openFds.push_back(client);
        m_relays.emplace_back([this, client] { Relay(client); });
    }
}

void TlsFront::Relay(int clientFd) {
    // A client that never completes its handshake must not hold the relay for ever.
    timeval limit{10, 0};
    ::setsockopt(clientFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    SSL* ssl = SSL_new(m_ctx);
    SSL_set_fd(ssl, clientFd);
    int backend = -1;
    bool reset = false;
    if (SSL_accept(ssl) != 1) {
        ++m_failed;
    } else {
        backend = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = LoopbackAddress(m_backendPort);
        if (::connect(backend, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const int on = 1;
            ::setsockopt(backend, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            char buffer[16384];
            bool open = true;
            while (open && !m_stopping) {
                if (SSL_pending(ssl) == 0) {
                    pollfd fds[2] = {{clientFd, POLLIN, 0}, {backend, POLLIN, 0}};
                    if (::poll(fds, 2, 100) <= 0) {
                        continue;
                    }
                    if (fds[1].revents != 0) {
                        const ssize_t n = ::recv(backend, buffer, sizeof buffer, 0);
                        if (n < 0) {
                            reset = true;
                        }
                        open = n > 0 && SSL_write(ssl, buffer, static_cast<int>(n)) > 0;
                        continue;
                    }
                    if (fds[0].revents == 0) {
                        continue;
                    }
                }
                const int n = SSL_read(ssl, buffer, sizeof buffer);
                open = n > 0 &&
                       SendAll(backend, std::string_view(buffer, static_cast<std::size_t>(n)));
            }
            if (!reset) {
                SSL_shutdown(ssl);
            }
        }
    }
    SSL_free(ssl);
    if (backend >= 0) {
        ::close(backend);
    }
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_openFds.erase(std::remove(m_openFds.begin(), m_openFds.end(), clientFd), m_openFds.end());
    }
    if (reset) {
        resetAndClose(clientFd);
    } else {
        ::close(clientFd);
    }
}

}  // namespace rvtest

#include "RawResponseServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <stdexcept>
#include <system_error>

#include "ChildProcess.h"

namespace rvfuzz {
namespace {

// How long a response kept open may keep the client waiting. A client that needs more
// bytes would wait for ever; one that has all it needs answers well within this, and if it
// does not, the close comes after it has read everything and changes nothing.
constexpr std::chrono::milliseconds kHold{25};

// n from the request line "GET /<n> HTTP/1.1", or a number beyond any script.
std::size_t ScriptIndex(std::string_view requestLine) {
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    const std::size_t slash = requestLine.find(" /");
    if (slash == std::string_view::npos) {
        return kNone;
    }
    const char* first = requestLine.data() + slash + 2;
    const char* last = requestLine.data() + requestLine.size();
    std::size_t index = kNone;
    const auto [end, error] = std::from_chars(first, last, index);
    return error == std::errc{} && end != last && *end == ' ' ? index : kNone;
}

}  // namespace

RawResponseServer::RawResponseServer() {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address = rvtest::LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 64) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "loopback server");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

RawResponseServer::~RawResponseServer() {
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_stopping = true;
    }
    Wake();
    m_thread.join();
    for (const int fd : {m_listenFd, m_wake[0], m_wake[1]}) {
        ::close(fd);
    }
}

void RawResponseServer::Script(std::vector<ScriptedResponse> responses) {
    std::unique_lock<std::mutex> hold(m_mutex);
    m_script = std::move(responses);
    const unsigned asked = ++m_resetsAsked;
    Wake();
    m_reset.wait(hold, [&] { return m_resetsDone == asked; });
}

void RawResponseServer::Answered() {
    std::lock_guard<std::mutex> hold(m_mutex);
    for (Connection& c : m_connections) {
        c.holdUntil.reset();
    }
}

void RawResponseServer::Wake() {
    const char byte = 0;
    (void)!::write(m_wake[1], &byte, 1);
}

void RawResponseServer::Run() {
    std::unique_lock<std::mutex> hold(m_mutex);
    std::vector<pollfd> polled;
    while (!m_stopping) {
        if (m_resetsDone != m_resetsAsked) {
            for (const Connection& c : m_connections) {
                ::close(c.fd);
            }
            m_connections.clear();
            m_resetsDone = m_resetsAsked;
            m_reset.notify_all();
        }
        polled.assign({{m_wake[0], POLLIN, 0}, {m_listenFd, POLLIN, 0}});
        int timeout = -1;
        const Clock::time_point now = Clock::now();
        for (const Connection& c : m_connections) {
            polled.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
            if (c.holdUntil) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(*c.holdUntil - now);
                const int ms = static_cast<int>(std::max<long long>(0, left.count()));
                timeout = timeout < 0 ? ms : std::min(timeout, ms);
            }
        }
        hold.unlock();
        ::poll(polled.data(), polled.size(), timeout);
        hold.lock();

        char drain[64];
        while (::read(m_wake[0], drain, sizeof drain) > 0) {
        }
        const Clock::time_point later = Clock::now();
        for (std::size_t i = 0; i + 2 < polled.size() && i < m_connections.size(); ++i) {
            Connection& c = m_connections[i];
            if (c.holdUntil && later >= *c.holdUntil) {
                ShutWrite(c);
            }
            if ((polled[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                Receive(c);
            }
            if (!c.dead && !c.out.empty()) {
                Flush(c);
            }
        }
        for (Connection& c : m_connections) {
            if (c.dead) {
                ::close(c.fd);
            }
        }
        std::erase_if(m_connections, [](const Connection& c) { return c.dead; });
        if ((polled[1].revents & POLLIN) != 0) {
            for (int fd; (fd = ::accept4(m_listenFd, nullptr, nullptr,
                                         SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
                m_connections.push_back({});
                m_connections.back().fd = fd;
            }
        }
    }
    for (const Connection& c : m_connections) {
        ::close(c.fd);
    }
}

void RawResponseServer::Receive(Connection& c) {
    for (;;) {
        char buffer[4096];
        const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            if (!c.writeShut) {
                c.in.append(buffer, static_cast<std::size_t>(got));
            }
        } else if (got < 0 && errno == EAGAIN) {
            break;
        } else if (got == 0 || errno != EINTR) {
            c.dead = true;
            return;
        }
    }
    // The fetchers' requests have no body: a request ends with its head.
    std::size_t end;
    while (!c.writeShut && c.out.empty() && (end = c.in.find("\r\n\r\n")) != std::string::npos) {
        const std::size_t index = ScriptIndex(c.in.substr(0, c.in.find("\r\n")));
        c.in.erase(0, end + 4);
        if (index >= m_script.size()) {
            ShutWrite(c);
            return;
        }
        c.out = m_script[index].bytes;
        c.closeAfter = !m_script[index].keepOpen;
        c.answered = true;
        Flush(c);
    }
}

void RawResponseServer::Flush(Connection& c) {
    while (!c.out.empty()) {
        const ssize_t sent = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            c.out.erase(0, static_cast<std::size_t>(sent));
        } else if (errno == EAGAIN) {
            return;
        } else if (errno != EINTR) {
            c.dead = true;
            return;
        }
    }
    if (c.answered) {
        c.answered = false;
        if (c.closeAfter) {
            ShutWrite(c);
        } else {
            c.holdUntil = Clock::now() + kHold;
        }
    }
}

void RawResponseServer::ShutWrite(Connection& c) {
    ::shutdown(c.fd, SHUT_WR);
    c.writeShut = true;
    c.holdUntil.reset();
    c.in.clear();
    c.out.clear();
}

}  // namespace rvfuzz

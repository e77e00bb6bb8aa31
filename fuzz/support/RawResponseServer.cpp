#include "RawResponseServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <system_error>

#include "ChildProcess.h"

namespace rvfuzz {
namespace {

// How long a response kept open may keep the client waiting. A client that needs more
// bytes would wait for ever; one that has all it needs answers well within this, and if it
// does not, the close comes after it has read everything and changes nothing.
constexpr int kHoldMs = 25;

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
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = rvtest::LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 64) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::system_error(errno, std::generic_category(), "loopback server");
    }
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] {
        for (int fd; (fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_fds.push_back(fd);
            m_threads.emplace_back([this, fd] { Serve(fd); });
        }
    });
}

RawResponseServer::~RawResponseServer() {
    ::shutdown(m_listenFd, SHUT_RDWR);  // ends the accept loop
    m_acceptThread.join();
    EndConnections();
    ::close(m_listenFd);
}

void RawResponseServer::EndConnections() {
    std::unique_lock<std::mutex> hold(m_mutex);
    const std::vector<int> fds = std::move(m_fds);
    std::vector<std::thread> threads = std::move(m_threads);
    m_fds.clear();
    m_threads.clear();
    for (const int fd : fds) {
        ::shutdown(fd, SHUT_RDWR);
    }
    hold.unlock();
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const int fd : fds) {
        ::close(fd);
    }
}

void RawResponseServer::Script(std::vector<ScriptedResponse> responses) {
    EndConnections();
    std::lock_guard<std::mutex> hold(m_mutex);
    m_script = std::move(responses);
}

void RawResponseServer::Answered() {
    std::lock_guard<std::mutex> hold(m_mutex);
    ++m_answered;
}

void RawResponseServer::Serve(int fd) {
    std::string in;
    char buffer[4096];
    for (;;) {
        // The fetchers' requests have no body: a request ends with its head.
        std::size_t end;
        while ((end = in.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return;
            }
            in.append(buffer, static_cast<std::size_t>(got));
        }
        const std::size_t index = ScriptIndex(std::string_view(in).substr(0, in.find("\r\n")));
        in.erase(0, end + 4);
        ScriptedResponse response;
        unsigned answered = 0;
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            if (index >= m_script.size()) {
                break;
            }
            response = m_script[index];
            answered = m_answered;
        }
        if (!rvtest::SendAll(fd, response.bytes) || !response.keepOpen) {
            break;
        }
        pollfd next{fd, POLLIN, 0};
        if (::poll(&next, 1, kHoldMs) == 0) {
            std::lock_guard<std::mutex> hold(m_mutex);
            if (m_answered == answered) {
                break;
            }
        }
    }
    // Whatever the client sends after the close is read and dropped until it goes.
    ::shutdown(fd, SHUT_WR);
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
}

}  // namespace rvfuzz

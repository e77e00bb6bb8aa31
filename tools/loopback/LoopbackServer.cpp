#include "loopback/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/Ascii.h"

namespace loopback {

namespace ascii = RVUtil::ascii;

namespace {

bool HasHeader(const HeaderLines& headers, std::string_view name) {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return ascii::EqualsNoCase(h.first, name); });
}

std::string_view ReasonFor(int status) {
    static const std::pair<int, std::string_view> kReasons[] = {{200, "OK"},
                                                                {204, "No Content"},
                                                                {301, "Moved Permanently"},
                                                                {404, "Not Found"},
                                                                {500, "Internal Server Error"}};
    for (const auto& [code, reason] : kReasons) {
        if (code == status) {
            return reason;
        }
    }
    return "Status";
}

// The value of a header in a request head, names compared without case; empty if absent.
std::string HeaderValue(std::string_view head, std::string_view name) {
    const std::string lowered = ascii::Lower(head);
    const std::string key = "\r\n" + ascii::Lower(name) + ":";
    const std::size_t at = lowered.find(key);
    if (at == std::string::npos) {
        return {};
    }
    std::size_t begin = at + key.size();
    const std::size_t end = head.find("\r\n", begin);
    while (begin < end && head[begin] == ' ') {
        ++begin;
    }
    return std::string(head.substr(begin, end - begin));
}

}  // namespace

Reply& Reply::Send(std::string bytes) {
    m_actions.push_back({Action::Send, std::move(bytes), {}});
    return *this;
}

Reply& Reply::Repeat(std::string bytes, std::size_t total) {
    m_actions.push_back({Action::Repeat, std::move(bytes), {}, total});
    return *this;
}

Reply& Reply::Trickle(std::string_view bytes, std::size_t chunk, std::chrono::milliseconds pause) {
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        Send(std::string(bytes.substr(at, chunk)));
        Delay(pause);
    }
    return *this;
}

Reply& Reply::Delay(std::chrono::milliseconds pause) {
    m_actions.push_back({Action::Delay, {}, pause});
    return *this;
}

Reply& Reply::Close() {
    m_actions.push_back({Action::Close, {}, {}});
    return *this;
}

Reply& Reply::Reset() {
    m_actions.push_back({Action::Reset, {}, {}});
    return *this;
}

Reply& Reply::Hang() {
    m_actions.push_back({Action::Hang, {}, {}});
    return *this;
}

Reply& Reply::CloseIfIdle(std::chrono::milliseconds idle) {
    m_actions.push_back({Action::CloseIfIdle, {}, idle});
    return *this;
}

std::string HttpResponse(int status, std::string_view body, const HeaderLines& headers,
                         std::string_view reason) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " ";
    out += reason.empty() ? ReasonFor(status) : reason;
    out += "\r\n";
    for (const auto& [name, value] : headers) {
        out += name + ": " + value + "\r\n";
    }
    if (!HasHeader(headers, "Content-Length") && !HasHeader(headers, "Transfer-Encoding")) {
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    out += "\r\n";
    out += body;
    return out;
}

std::string Chunked(std::string_view body, std::size_t chunk) {
    std::string out;
    for (std::size_t at = 0; at < body.size(); at += chunk) {
        const std::string_view piece = body.substr(at, chunk);
        char size[24];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        out += size;
        out += piece;
        out += "\r\n";
    }
    out += "0\r\n\r\n";
    return out;
}

std::string_view ReceivedRequest::Head() const {
    const std::size_t end = bytes.find("\r\n\r\n");
    return std::string_view(bytes).substr(0, end == std::string::npos ? bytes.size() : end + 4);
}

std::string_view ReceivedRequest::Body() const {
    return std::string_view(bytes).substr(Head().size());
}

std::string ReceivedRequest::RequestLine() const {
    return bytes.substr(0, bytes.find("\r\n"));
}

std::string_view ReceivedRequest::Target() const {
    const std::string_view line = std::string_view(bytes).substr(0, bytes.find("\r\n"));
    const std::size_t start = std::min(line.find(' '), line.size());
    const std::string_view rest = line.substr(start + (start < line.size() ? 1 : 0));
    return rest.substr(0, rest.find(' '));
}

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

Server::Server(Responder responder) : m_responder(std::move(responder)) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        throw std::system_error(errno, std::generic_category(), "socket");
    }
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 64) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(m_listenFd);
        throw std::system_error(error, std::generic_category(), "bind 127.0.0.1:0");
    }
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

Server::~Server() {
    Stop();
}

std::string Server::Url(std::string_view path) const {
    std::string url = "http://127.0.0.1:" + std::to_string(m_port);
    if (path.empty() || path.front() != '/') {
        url += '/';
    }
    url += path;
    return url;
}

std::size_t Server::ConnectionCount() const {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_connections;
}

void Server::EndConnections() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        // Shutting the sockets down wakes every thread blocked on them, and leaving
        // m_openFds every pause and hang; each thread closes its own descriptor, so none is
        // closed under another's feet.
        for (int fd : m_openFds) {
            ::shutdown(fd, SHUT_RDWR);
        }
        m_openFds.clear();
        threads.swap(m_connectionThreads);
    }
    m_ended.notify_all();
    for (auto& thread : threads) {
        thread.join();
    }
}

void Server::Stop() {
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_stopping) {
            return;
        }
        m_stopping = true;
        ::shutdown(m_listenFd, SHUT_RDWR);
    }
    m_acceptThread.join();
    EndConnections();
    ::close(m_listenFd);
}

void Server::AcceptLoop() {
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_stopping) {
            if (fd >= 0) {
                ::close(fd);
            }
            return;
        }
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_openFds.push_back(fd);
        const std::size_t connection = m_connections++;
        m_connectionThreads.emplace_back([this, fd, connection] { Serve(fd, connection); });
    }
}

void Server::Forget(int fd) {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_openFds.erase(std::remove(m_openFds.begin(), m_openFds.end(), fd), m_openFds.end());
    ::close(fd);
}

void Server::Serve(int fd, std::size_t connection) {
    std::string pending;
    // Requests are small; a larger buffer on each connection's stack costs sanitizer builds
    // time at every thread's end.
    char buffer[4096];
    // Reads more of the request; false when the connection is over.
    const auto receive = [&] {
        for (;;) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got > 0) {
                pending.append(buffer, static_cast<std::size_t>(got));
                return true;
            }
            if (got == 0 || errno != EINTR) {
                return false;
            }
        }
    };
    bool open = true;
    while (open) {
        // One request: the head up to the blank line, then Content-Length bytes of body.
        std::size_t headEnd;
        while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
            if (!receive()) {
                Forget(fd);
                return;
            }
        }
        const std::string_view head(pending.data(), headEnd + 4);
        if (ascii::Lower(HeaderValue(head, "Expect")) == "100-continue" &&
            !SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n")) {
            break;
        }
        const std::string length = HeaderValue(head, "Content-Length");
        const std::size_t total = headEnd + 4 + std::strtoull(length.c_str(), nullptr, 10);
        while (pending.size() < total) {
            if (!receive()) {
                Forget(fd);
                return;
            }
        }
        ReceivedRequest request{connection, pending.substr(0, total)};
        pending.erase(0, total);
        const std::shared_ptr<const Reply> reply = m_responder(std::move(request));
        open = reply != nullptr && Perform(fd, *reply, !pending.empty());
    }
    Forget(fd);
}

// False when the connection is over: closed, reset, hung until ended, or broken. With a
// request already waiting in what was read, the connection is not idle.
bool Server::Perform(int fd, const Reply& reply, bool requestWaiting) {
    for (const Reply::Action& action : reply.Actions()) {
        switch (action.kind) {
            case Reply::Action::Send:
                if (!SendAll(fd, action.bytes)) {
                    return false;
                }
                break;
            case Reply::Action::Repeat: {
                // Sent in blocks of many copies, so that a large body costs few system calls.
                std::string block;
                while (!action.bytes.empty() && block.size() < 256 * 1024) {
                    block += action.bytes;
                }
                for (std::size_t left = block.empty() ? 0 : action.total; left > 0;) {
                    const std::size_t piece = std::min(left, block.size());
                    if (!SendAll(fd, std::string_view(block).substr(0, piece))) {
                        return false;
                    }
                    left -= piece;
                }
                break;
            }
            case Reply::Action::Delay:
                if (!Pause(fd, action.delay)) {
                    return false;
                }
                break;
            case Reply::Action::Close:
                ::shutdown(fd, SHUT_WR);
                return false;
            case Reply::Action::Reset: {
                const linger abortive{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
                return false;
            }
            case Reply::Action::Hang: {
                std::unique_lock<std::mutex> hold(m_mutex);
                m_ended.wait(hold, [&] { return !IsOpen(fd); });
                return false;
            }
            case Reply::Action::CloseIfIdle: {
                pollfd next{fd, POLLIN, 0};
                if (!requestWaiting &&
                    ::poll(&next, 1, static_cast<int>(action.delay.count())) == 0) {
                    ::shutdown(fd, SHUT_WR);
                    return false;
                }
                break;
            }
        }
    }
    return true;
}

// False when the connection was ended during the pause.
bool Server::Pause(int fd, std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> hold(m_mutex);
    return !m_ended.wait_for(hold, pause, [&] { return !IsOpen(fd); });
}

bool Server::IsOpen(int fd) const {
    return std::find(m_openFds.begin(), m_openFds.end(), fd) != m_openFds.end();
}

}  // namespace loopback

#include "DemoServer.h"

#include <arpa/inet.h>
#include <libdeflate.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zstd.h>

#include <cstring>
#include <stdexcept>
#include <string_view>

namespace rvfetch {

namespace {

struct Reply {
    int status = 200;
    std::string extraHeaders;
    std::string body;
};

std::string sampleText() {
    std::string text;
    for (int i = 1; i <= 40; ++i) {
        text += "line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog\n";
    }
    return text;
}

std::string gzipOf(const std::string& plain) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(9);
    std::string out(libdeflate_gzip_compress_bound(c, plain.size()), '\0');
    out.resize(libdeflate_gzip_compress(c, plain.data(), plain.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

std::string zstdOf(const std::string& plain) {
    std::string out(ZSTD_compressBound(plain.size()), '\0');
    out.resize(ZSTD_compress(out.data(), out.size(), plain.data(), plain.size(), 3));
    return out;
}

Reply replyFor(std::string_view path) {
    static const std::string text = sampleText();
    if (path == "/plain") {
        return {200, "Content-Type: text/plain\r\n", text};
    }
    if (path == "/gzip") {
        return {200, "Content-Type: text/plain\r\nContent-Encoding: gzip\r\n", gzipOf(text)};
    }
    if (path == "/zstd") {
        return {200, "Content-Type: text/plain\r\nContent-Encoding: zstd\r\n", zstdOf(text)};
    }
    if (path == "/verdict") {
        return {200, "RV_Error: licence expired\r\n", text};
    }
    if (path == "/expiry") {
        return {200, "VR_Expired: Exp:2030-06-01 12:00:00 LT\r\n", text};
    }
    return {404, "Content-Type: text/plain\r\n", "not found\n"};
}

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

DemoServer::DemoServer() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (m_listener >= 0) {
            ::close(m_listener);
        }
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

DemoServer::~DemoServer() {
    m_stopping = true;
    ::shutdown(m_listener, SHUT_RDWR);
    m_acceptor.join();
    for (std::thread& t : m_connections) {
        t.join();
    }
    ::close(m_listener);
}

std::string DemoServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

const std::vector<DemoServer::Resource>& DemoServer::resources() {
    static const std::vector<Resource> list = {
        {"/plain", "plain text"},         {"/gzip", "gzip body"},
        {"/zstd", "zstd body"},           {"/verdict", "RV_Error verdict"},
        {"/expiry", "VR_Expired expiry"}, {"/missing", "404 page"},
    };
    return list;
}

void DemoServer::acceptLoop() {
    while (!m_stopping) {
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (m_stopping) {
                return;
            }
            continue;
        }
        m_connections.emplace_back([this, client] { serve(client); });
    }
}

// Answers requests on one connection until the client closes it or the server stops.
// The demo only sends GETs; a request body is never expected.
void DemoServer::serve(int client) {
    std::string pending;
    char chunk[4096];
    while (!m_stopping) {
        const std::size_t end = pending.find("\r\n\r\n");
        if (end == std::string::npos) {
            pollfd p{client, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) {
                continue;
            }
            const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
            if (n <= 0) {
                break;
            }
            pending.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        const std::string_view head(pending.data(), end);
        const std::size_t pathStart = head.find(' ') + 1;
        const std::size_t pathEnd = head.find(' ', pathStart);
        const Reply reply = replyFor(head.substr(pathStart, pathEnd - pathStart));
        pending.erase(0, end + 4);

        std::string response = "HTTP/1.1 " + std::to_string(reply.status) +
                               (reply.status == 200 ? " OK\r\n" : " Not Found\r\n");
        response += reply.extraHeaders;
        response += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n\r\n";
        response += reply.body;
        if (!sendAll(client, response)) {
            break;
        }
    }
    ::close(client);
}

}  // namespace rvfetch

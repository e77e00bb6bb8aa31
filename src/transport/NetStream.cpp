#include "transport/NetStream.h"

#include <poll.h>

#include <openssl/ssl.h>
#include <array>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/tcp_stream.hpp>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/Ascii.h"
#include "transport/NameResolver.h"
#include "transport/TlsContext.h"

namespace RVUtil::transport {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace ssl = boost::asio::ssl;
using Tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

// Blocking socket calls ignore receive time-outs and can wait for ever, so every wait is an
// asynchronous operation with a deadline, run to completion on the calling thread. The
// stream's deadline timer is cancelled when the operation ends; run() returns once that
// cancellation has been delivered too, leaving the loop idle for the next operation.
template <class Start>
std::pair<error_code, std::size_t> RunOperation(asio::io_context& io, Start&& start) {
    error_code result = asio::error::operation_aborted;
    std::size_t transferred = 0;
    start([&result, &transferred](error_code ec, std::size_t n) {
        result = ec;
        transferred = n;
    });
    io.restart();
    io.run();
    return {result, transferred};
}

// The addresses a connect tries, shared rather than copied: the connect operation copies
// its address sequence along with its handler while it completes, and a copy that
// allocates can fail there, where the I/O library cannot unwind it cleanly.
class SharedEndpoints {
  public:
    using iterator = std::vector<Tcp::endpoint>::const_iterator;

    explicit SharedEndpoints(std::vector<Tcp::endpoint> list)
        : m_list(std::make_shared<const std::vector<Tcp::endpoint>>(std::move(list))) {}
    iterator begin() const { return m_list->begin(); }
    iterator end() const { return m_list->end(); }

  private:
    std::shared_ptr<const std::vector<Tcp::endpoint>> m_list;
};

bool EndsStream(const error_code& ec) {
    return ec == asio::error::eof || ec == ssl::error::stream_truncated;
}

InetError ErrorOf(const error_code& ec) {
    if (ec == beast::error::timeout) {
        return kInetTimeout;
    }
    if (ec.category() == asio::error::get_ssl_category()) {
        return kInetSecureFailure;
    }
    return kInetConnectionAborted;
}

// The system's words for a socket error, as the middle of a sentence.
std::string WordsOf(const error_code& ec) {
    std::string words = ec.message();
    if (!words.empty()) {
        words[0] = ascii::ToLower(words[0]);
    }
    return words;
}

std::string WithoutBrackets(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    return std::string(host);
}

// The part of first + second that is left after the first offset bytes.
std::array<asio::const_buffer, 2> Remainder(std::string_view first, std::string_view second,
                                            std::size_t offset) {
    if (offset < first.size()) {
        return {asio::buffer(first.data() + offset, first.size() - offset), asio::buffer(second)};
    }
    offset -= first.size();
    return {asio::const_buffer(), asio::buffer(second.data() + offset, second.size() - offset)};
}

}  // namespace

struct NetContext::Impl {
    asio::io_context io{1};
    TlsContext tls;
};

NetContext::NetContext() : m_impl(std::make_unique<Impl>()) {}
NetContext::~NetContext() = default;

std::shared_ptr<NetContext> NetContext::Create(InetError* error) {
    try {
        std::shared_ptr<NetContext> context(new NetContext());
        // The loop's descriptors (event queue, wake-up, timers) come with its first timer.
        // Made now, a session that cannot have them fails to open rather than failing its
        // first request.
        asio::steady_timer probe(context->impl().io);
        return context;
    } catch (const std::exception&) {
        *error = kInetInternalError;
        return nullptr;
    }
}

struct NetStream::Impl {
    std::shared_ptr<NetContext> context;  // outlives the streams below, which use its loop
    beast::tcp_stream tcp;
    std::unique_ptr<ssl::stream<beast::tcp_stream&>> tls;
    error_code failure;             // of the last operation that failed
    bool handshakeFailed = false;   // that operation was the TLS handshake
    long verifyResult = X509_V_OK;  // the peer certificate's verdict then

    explicit Impl(std::shared_ptr<NetContext> owner)
        : context(std::move(owner)), tcp(context->impl().io) {}
    asio::io_context& Io() { return context->impl().io; }
    InetError Fail(const error_code& ec) {
        failure = ec;
        return ErrorOf(ec);
    }
};

NetStream::NetStream(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
NetStream::~NetStream() = default;

std::unique_ptr<NetStream> NetStream::Connect(const std::shared_ptr<NetContext>& context,
                                              std::string_view host, std::uint16_t port,
                                              Millis timeout, InetError* error,
                                              std::string* detail) {
    try {
        auto impl = std::make_unique<Impl>(context);
        const auto start = std::chrono::steady_clock::now();
        const std::string name = WithoutBrackets(host);
        std::vector<Tcp::endpoint> endpoints;
        error_code ec;
        const asio::ip::address address = asio::ip::make_address(name, ec);
        if (!ec) {
            endpoints.emplace_back(address, port);
        } else {
            std::vector<ResolvedAddress> resolved;
            *error = NameResolver::Resolve(name, port, timeout, &resolved, detail);
            if (*error != kInetOk) {
                return nullptr;
            }
            for (const ResolvedAddress& entry : resolved) {
                Tcp::endpoint& endpoint = endpoints.emplace_back();
                std::memcpy(endpoint.data(), &entry.storage, entry.length);
                endpoint.resize(entry.length);
            }
        }
        const SharedEndpoints addresses(std::move(endpoints));
        // The time-out bounds resolving and connecting together.
        const auto spent =
            std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - start);
        impl->tcp.expires_after(std::max(timeout - spent, Millis(1)));
        const auto [connectError, unused] = RunOperation(impl->Io(), [&](auto done) {
            impl->tcp.async_connect(
                addresses, [done](error_code e, const Tcp::endpoint&) mutable { done(e, 0); });
        });
        (void)unused;
        if (connectError) {
            *error = connectError == beast::error::timeout ? kInetTimeout : kInetCannotConnect;
            *detail = *error == kInetCannotConnect ? WordsOf(connectError) : "connecting";
            return nullptr;
        }
        impl->tcp.expires_never();
        Tcp::socket& socket = impl->tcp.socket();
        socket.set_option(Tcp::no_delay(true), ec);
        // Plain reads and writes first try without waiting, so data that is already there
        // costs one system call and no trip through the loop.
        socket.non_blocking(true, ec);
        return std::unique_ptr<NetStream>(new NetStream(std::move(impl)));
    } catch (const std::exception&) {
        *error = kInetInternalError;
        return nullptr;
    }
}

InetError NetStream::StartTls(std::string_view serverName, Millis timeout, const TlsTrust& trust) {
    InetError error = kInetOk;
    ssl::context* settings = m_impl->context->impl().tls.For(trust, &error);
    if (settings == nullptr) {
        return error;
    }
    try {
        m_impl->tls = std::make_unique<ssl::stream<beast::tcp_stream&>>(m_impl->tcp, *settings);
    } catch (const std::exception&) {
        return kInetInternalError;
    }
    SSL* session = m_impl->tls->native_handle();
    if (!ExpectPeer(session, WithoutBrackets(serverName))) {
        return kInetSecureFailure;
    }
    m_impl->tcp.expires_after(timeout);
    const auto [handshakeError, unused] = RunOperation(m_impl->Io(), [&](auto done) {
        m_impl->tls->async_handshake(ssl::stream_base::client,
                                     [done](error_code e) mutable { done(e, 0); });
    });
    (void)unused;
    if (handshakeError) {
        m_impl->failure = handshakeError;
        m_impl->handshakeFailed = true;
        m_impl->verifyResult = SSL_get_verify_result(session);
        return handshakeError == beast::error::timeout ? kInetTimeout
                                                       : HandshakeErrorOf(m_impl->verifyResult);
    }
    return kInetOk;
}

InetError NetStream::Write(std::string_view first, std::string_view second, Millis timeout) {
    const std::size_t total = first.size() + second.size();
    std::size_t sent = 0;
    if (!m_impl->tls) {
        Tcp::socket& socket = m_impl->tcp.socket();
        while (sent < total) {
            error_code ec;
            sent += socket.write_some(Remainder(first, second, sent), ec);
            if (ec == asio::error::would_block || ec == asio::error::try_again) {
                break;
            }
            if (ec) {
                return m_impl->Fail(ec);
            }
        }
        if (sent == total) {
            return kInetOk;
        }
    }
    m_impl->tcp.expires_after(timeout);
    const auto [ec, n] = RunOperation(m_impl->Io(), [&](auto done) {
        if (m_impl->tls) {
            asio::async_write(*m_impl->tls, Remainder(first, second, sent), done);
        } else {
            asio::async_write(m_impl->tcp, Remainder(first, second, sent), done);
        }
    });
    (void)n;
    return ec ? m_impl->Fail(ec) : kInetOk;
}

InetError NetStream::ReadSome(char* data, std::size_t size, Millis timeout, std::size_t* received) {
    *received = 0;
    if (!m_impl->tls) {
        error_code ec;
        const std::size_t n = m_impl->tcp.socket().read_some(asio::buffer(data, size), ec);
        if (!ec || EndsStream(ec)) {
            *received = n;
            return kInetOk;
        }
        if (ec != asio::error::would_block && ec != asio::error::try_again) {
            return m_impl->Fail(ec);
        }
    }
    m_impl->tcp.expires_after(timeout);
    const auto [ec, n] = RunOperation(m_impl->Io(), [&](auto done) {
        if (m_impl->tls) {
            m_impl->tls->async_read_some(asio::buffer(data, size), done);
        } else {
            m_impl->tcp.async_read_some(asio::buffer(data, size), done);
        }
    });
    if (ec && !EndsStream(ec)) {
        return m_impl->Fail(ec);
    }
    *received = n;
    return kInetOk;
}

std::string NetStream::FailureText() const {
    const error_code& ec = m_impl->failure;
    if (!ec || ec == beast::error::timeout) {
        return std::string();
    }
    if (!m_impl->handshakeFailed) {
        return WordsOf(ec);
    }
    return HandshakeFailureText(m_impl->verifyResult, WordsOf(ec));
}

bool NetStream::IsIdleAndOpen() const {
    const Tcp::socket& socket = m_impl->tcp.socket();
    if (!socket.is_open()) {
        return false;
    }
    if (m_impl->tls && SSL_pending(m_impl->tls->native_handle()) > 0) {
        return false;
    }
    // Readable while idle means the end of the stream, a reset, or bytes nobody asked for.
    pollfd entry{};
    entry.fd = const_cast<Tcp::socket&>(socket).native_handle();
    entry.events = POLLIN;
    return ::poll(&entry, 1, 0) == 0;
}

}  // namespace RVUtil::transport

#include "transport/InetRequest.h"

#include <algorithm>
#include <chrono>

#include "platform/Ascii.h"
#include "transport/NetStream.h"
#include "transport/RequestHead.h"

namespace RVUtil::transport {
namespace {

// A body read asking for at least this much goes straight into the caller's memory.
constexpr std::size_t kDirectReadSize = 32 * 1024;

Millis orDefault(DWORD milliseconds, Millis fallback) {
    return milliseconds == 0 ? fallback : Millis(milliseconds);
}

std::string timedOut(Millis limit, std::string_view what) {
    std::string text = "timed out after " + std::to_string(limit.count()) + " ms";
    if (!what.empty()) {
        text.append(" ").append(what);
    }
    return text;
}

bool namesAServer(std::string_view host) {
    if (host.empty()) {
        return false;
    }
    for (const char c : host) {
        if (c == ' ' || ascii::IsControl(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

Connection::Connection(std::shared_ptr<SessionState> session,
                       std::shared_ptr<ConnectionSettings> settings)
    : m_session(std::move(session)), m_settings(std::move(settings)) {}

std::unique_ptr<Connection> Connection::Open(Session& session, std::string_view host,
                                             std::uint16_t port, const char* user,
                                             const char* password) {
    if (!namesAServer(host)) {
        return nullptr;
    }
    auto settings = std::make_shared<ConnectionSettings>();
    settings->host = std::string(host);
    settings->port = port;
    if (user != nullptr) {
        settings->user = user;
    }
    if (password != nullptr) {
        settings->password = password;
    }
    return std::unique_ptr<Connection>(new Connection(session.State(), std::move(settings)));
}

void Connection::SetConnectTimeout(DWORD milliseconds) {
    m_settings->connectTimeout = orDefault(milliseconds, kDefaultConnectTimeout);
}

void Connection::SetReceiveTimeout(DWORD milliseconds) {
    m_settings->receiveTimeout = orDefault(milliseconds, kDefaultReceiveTimeout);
}

void Connection::SetProxies(platform::SystemProxySettings proxies) {
    m_settings->proxies = std::move(proxies);
}

void Connection::SetTlsTrust(TlsTrust trust) {
    m_settings->trust = std::move(trust);
}

void Connection::SetMaxTime(Millis maxTime) {
    m_settings->maxTime = maxTime;
}

Millis Request::Within(Millis timeout) const {
    if (m_lastMoment == ReceiveDeadline::Clock::time_point::max()) {
        return timeout;
    }
    const auto left = std::chrono::ceil<Millis>(m_lastMoment - ReceiveDeadline::Clock::now());
    return std::clamp(left, Millis(0), timeout);
}

Request::Request(std::shared_ptr<SessionState> session,
                 std::shared_ptr<const ConnectionSettings> settings, std::string verb,
                 std::string path, DWORD flags)
    : m_session(std::move(session)),
      m_settings(std::move(settings)),
      m_verb(std::move(verb)),
      m_path(std::move(path)),
      m_flags(flags) {}

std::unique_ptr<Request> Request::Open(Connection& connection, std::string_view verb,
                                       std::string_view path, DWORD flags) {
    return std::unique_ptr<Request>(new Request(connection.m_session, connection.m_settings,
                                                std::string(verb), std::string(path), flags));
}

Request::~Request() {
    if (m_stream && m_state == BodyState::Reading) {
        FinishFromPending();
    }
    if (m_stream && Reusable()) {
        m_session->PutIdle(m_key, std::move(m_stream));
    }
}

bool Request::AddHeaderLine(std::string_view line) {
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") {
        line.remove_suffix(2);
    }
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        return false;
    }
    AppendHeaderLine(m_lines, line);
    return true;
}

std::optional<std::uint64_t> Request::DeclaredLength() const {
    if (m_state == BodyState::Unsent || m_head.framing != BodyFraming::Length) {
        return std::nullopt;
    }
    return m_head.contentLength;
}

InetError Request::Fail(InetError error, std::string detail) {
    m_error = error;
    m_detail = std::move(detail);
    return error;
}

InetError Request::FailBody(InetError error, const std::string& streamText) {
    std::string progress = std::to_string(m_bodyReceived);
    if (m_head.framing == BodyFraming::Length) {
        progress.append(" of ").append(std::to_string(m_head.contentLength));
    }
    progress.append(" body bytes");
    if (error == kInetTimeout) {
        return Fail(error,
                    timedOut(m_deadline.Window(), "with the body stalled after " + progress));
    }
    const std::string what = streamText.empty() ? "connection closed" : streamText;
    return Fail(error, what + " after " + progress);
}

InetError Request::Send(const void* body, std::size_t length) {
    if (m_state != BodyState::Unsent) {
        return kInetInternalError;
    }
    if (length > 0 && body == nullptr) {
        return Fail(kInetInvalidParameter, "request body missing");
    }
    m_state = BodyState::Failed;
    const ConnectionSettings& settings = *m_settings;
    if (settings.maxTime.count() > 0) {
        m_lastMoment = ReceiveDeadline::Clock::now() + settings.maxTime;
        m_deadline.Cap(m_lastMoment);
    }
    const bool tls = (m_flags & kFlagSecure) != 0;
    const platform::SystemProxySettings& proxies =
        settings.proxies.has_value() ? *settings.proxies : m_session->Proxies();
    const platform::ProxyServer* proxy =
        proxies.ForTarget(tls ? "https" : "http", settings.host, settings.port);
    m_key = StreamKey{settings.host, settings.port, tls, tls ? settings.trust : TlsTrust{},
                      std::string()};
    if (proxy != nullptr) {
        m_key.proxy.append(proxy->host).append(":").append(std::to_string(proxy->port));
        m_key.proxy.append(" ").append(proxy->user);
    }

    std::string host = settings.host;
    if (settings.port != (tls ? 443 : 80)) {
        host.append(":").append(std::to_string(settings.port));
    }
    std::string target = RequestTargetOf(m_path);
    if (proxy != nullptr && !tls) {
        target = std::string("http://").append(host).append(target);  // a proxy's form
    }
    const bool withCredentials = settings.user && settings.password && !settings.user->empty();
    const std::string authorization =
        withCredentials ? BasicCredentials(*settings.user, *settings.password) : std::string();
    const std::string proxyAuthorization = (proxy != nullptr && !tls && !proxy->user.empty())
                                               ? BasicCredentials(proxy->user, proxy->password)
                                               : std::string();
    RequestHeadFields fields;
    fields.verb = m_verb;
    fields.target = target;
    fields.host = host;
    fields.authorization = authorization;
    fields.proxyAuthorization = proxyAuthorization;
    fields.extraLines = m_lines;
    if (length > 0 || m_verb == "POST" || m_verb == "PUT") {
        fields.contentLength = length;
    }
    fields.keepConnection = (m_flags & kFlagKeepConnection) != 0;
    m_sentHead = BuildRequestHead(fields);
    const std::string& head = m_sentHead;
    const std::string_view payload(static_cast<const char*>(body), length);

    // A request that is not idempotent never goes out on a pooled connection: a server that
    // read it and then closed (its keep-alive time-out) may have acted on it, so it could not
    // be sent again, and it would fail for no fault of the server's. On a connection of its
    // own it goes out exactly once. GETs reuse pooled connections and replace a dead one.
    const bool idempotent = m_verb == "GET" || m_verb == "HEAD";
    for (int attempt = 0;; ++attempt) {
        std::unique_ptr<NetStream> stream;
        if (attempt == 0 && fields.keepConnection && idempotent) {
            stream = m_session->TakeIdle(m_key);
        }
        const bool reused = stream != nullptr;
        if (!stream) {
            if (const InetError error = OpenStream(proxy, &stream); error != kInetOk) {
                return error;
            }
        }
        m_received = ReceiveBuffer();
        bool anyByte = false;
        std::string detail;
        InetError error = stream->Write(head, payload, Within(settings.receiveTimeout));
        if (error != kInetOk) {
            detail = error == kInetTimeout ? "sending the request" : stream->FailureText();
        } else {
            m_deadline.StartHead(settings.receiveTimeout);
            error =
                m_received.ReadHead(*stream, m_deadline, &m_head, &anyByte, &detail, m_lengthRule);
        }
        if (error == kInetOk) {
            m_stream = std::move(stream);
            StartBody();
            return kInetOk;
        }
        // A kept-alive connection the server closed just before it got this request.
        if (!reused || anyByte || error != kInetConnectionAborted) {
            return Fail(error,
                        error == kInetTimeout ? timedOut(settings.receiveTimeout, detail) : detail);
        }
    }
}

InetError Request::OpenStream(const platform::ProxyServer* proxy, std::unique_ptr<NetStream>* out) {
    const ConnectionSettings& settings = *m_settings;
    // Only proxies spoken to in plain HTTP are supported; a request that the configuration
    // sends through any other kind fails rather than going around it.
    if (proxy != nullptr && proxy->scheme != "http") {
        return Fail(kInetCannotConnect, "proxy scheme not supported: " + proxy->scheme);
    }
    InetError error = kInetOk;
    std::string detail;
    std::unique_ptr<NetStream> stream =
        proxy != nullptr ? NetStream::Connect(m_session->Context(), proxy->host, proxy->port,
                                              Within(settings.connectTimeout), &error, &detail)
                         : NetStream::Connect(m_session->Context(), settings.host, settings.port,
                                              Within(settings.connectTimeout), &error, &detail);
    if (!stream) {
        if (error == kInetTimeout) {
            detail = timedOut(settings.connectTimeout, detail);
        }
        return Fail(error, proxy != nullptr ? "proxy: " + detail : detail);
    }
    if ((m_flags & kFlagSecure) != 0) {
        if (proxy != nullptr) {
            if (error = OpenTunnel(*stream, *proxy); error != kInetOk) {
                return error;
            }
        }
        if (error =
                stream->StartTls(settings.host, Within(settings.receiveTimeout), settings.trust);
            error != kInetOk) {
            return Fail(error, error == kInetTimeout
                                   ? timedOut(settings.receiveTimeout, "in the TLS handshake")
                                   : stream->FailureText());
        }
    }
    *out = std::move(stream);
    return kInetOk;
}

InetError Request::OpenTunnel(NetStream& stream, const platform::ProxyServer& proxy) {
    const ConnectionSettings& settings = *m_settings;
    std::string authority = settings.host;
    authority.append(":").append(std::to_string(settings.port));
    std::string head = "CONNECT ";
    head.append(authority).append(" HTTP/1.1\r\nHost: ").append(authority).append("\r\n");
    if (!proxy.user.empty()) {
        head.append("Proxy-Authorization: ")
            .append(BasicCredentials(proxy.user, proxy.password))
            .append("\r\n");
    }
    head.append("\r\n");
    if (const InetError error = stream.Write(head, {}, Within(settings.receiveTimeout));
        error != kInetOk) {
        return Fail(error, error == kInetTimeout
                               ? timedOut(settings.receiveTimeout, "sending to the proxy")
                               : "proxy: " + stream.FailureText());
    }
    ReceiveBuffer answer;
    ResponseHead reply;
    ReceiveDeadline deadline;
    deadline.StartHead(settings.receiveTimeout);
    deadline.Cap(m_lastMoment);
    bool anyByte = false;
    std::string detail;
    if (const InetError error = answer.ReadHead(stream, deadline, &reply, &anyByte, &detail);
        error != kInetOk) {
        if (error == kInetTimeout) {
            return Fail(error, timedOut(settings.receiveTimeout, "waiting for the proxy"));
        }
        return Fail(kInetCannotConnect, "proxy: " + detail);
    }
    // Anything but a 2xx is the proxy's refusal; bytes behind the answer would belong to a
    // TLS handshake that has not started yet.
    if (reply.status < 200 || reply.status > 299) {
        return Fail(kInetCannotConnect, "proxy refused the tunnel: HTTP " + reply.statusText);
    }
    if (!answer.Pending().empty()) {
        return Fail(kInetCannotConnect, "proxy sent bytes behind its tunnel answer");
    }
    return kInetOk;
}

void Request::StartBody() {
    m_state = BodyState::Reading;
    m_bodyStarted = true;
    m_remaining = m_head.contentLength;
    m_chunked = ChunkedDecoder();
    m_bodyReceived = 0;
    m_deadline.StartBody();
    // The answer to a HEAD has no body, whatever length its head declares.
    if (m_verb == "HEAD") {
        m_head.framing = BodyFraming::None;
    }
    if (m_head.framing == BodyFraming::None ||
        (m_head.framing == BodyFraming::Length && m_remaining == 0)) {
        m_state = BodyState::Complete;
    }
}

InetError Request::Read(void* data, std::size_t size, std::size_t* received) {
    *received = 0;
    switch (m_state) {
        case BodyState::Unsent:
            return kInetInternalError;
        case BodyState::Failed:
            return m_error;
        case BodyState::Complete:
            return kInetOk;
        case BodyState::Reading:
            break;
    }
    if (size == 0) {
        return kInetOk;
    }
    char* out = static_cast<char*>(data);
    InetError error = kInetOk;
    switch (m_head.framing) {
        case BodyFraming::Length:
            error = ReadLength(out, size, received);
            break;
        case BodyFraming::Chunked:
            error = ReadChunked(out, size, received);
            break;
        case BodyFraming::UntilClose:
            error = ReadUntilClose(out, size, received);
            break;
        case BodyFraming::None:
            m_state = BodyState::Complete;
            break;
    }
    if (error != kInetOk) {
        m_state = BodyState::Failed;
    }
    m_bodyReceived += *received;
    return error;
}

InetError Request::ReadLength(char* out, std::size_t size, std::size_t* received) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_remaining));
    std::size_t n = m_received.Take(out, wanted);
    if (n == 0) {
        InetError error = kInetOk;
        if (wanted >= kDirectReadSize) {
            error = m_deadline.Read(*m_stream, out, wanted, &n);
        } else {
            // Never ask for more than the body still owes: what follows it is not ours.
            std::size_t arrived = 0;
            error = m_received.Fill(*m_stream, m_deadline,
                                    static_cast<std::size_t>(
                                        std::min<std::uint64_t>(m_remaining, std::size_t{1} << 30)),
                                    &arrived);
            n = m_received.Take(out, wanted);
        }
        if (error != kInetOk) {
            return FailBody(error, m_stream->FailureText());
        }
        if (n == 0) {
            return FailBody(kInetConnectionAborted, std::string());  // closed before the end
        }
    }
    m_remaining -= n;
    *received = n;
    if (m_remaining == 0) {
        m_state = BodyState::Complete;
    }
    return kInetOk;
}

InetError Request::ReadChunked(char* out, std::size_t size, std::size_t* received) {
    for (;;) {
        if (m_received.Pending().empty()) {
            std::size_t arrived = 0;
            const InetError error = m_received.Fill(*m_stream, m_deadline, 0, &arrived);
            if (error != kInetOk) {
                return FailBody(error, m_stream->FailureText());
            }
            if (arrived == 0) {
                return FailBody(kInetConnectionAborted, std::string());  // before the last chunk
            }
        }
        const std::string_view pending = m_received.Pending();
        std::size_t consumed = 0;
        std::size_t produced = 0;
        const ChunkedDecoder::Status status =
            m_chunked.Decode(pending.data(), pending.size(), out, size, &consumed, &produced);
        m_received.Consume(consumed);
        *received = produced;
        if (status == ChunkedDecoder::Status::Bad) {
            Fail(kInetInvalidResponse, m_chunked.Fault());
            if (produced == 0) {
                return kInetInvalidResponse;
            }
            // The data ahead of the corruption is delivered; the next read reports it.
            m_state = BodyState::Failed;
            return kInetOk;
        }
        if (status == ChunkedDecoder::Status::Done) {
            m_state = BodyState::Complete;
            return kInetOk;
        }
        if (produced > 0) {
            return kInetOk;
        }
    }
}

InetError Request::ReadUntilClose(char* out, std::size_t size, std::size_t* received) {
    std::size_t n = m_received.Take(out, size);
    if (n == 0) {
        if (const InetError error = m_deadline.Read(*m_stream, out, size, &n); error != kInetOk) {
            return FailBody(error, m_stream->FailureText());
        }
        if (n == 0) {
            m_state = BodyState::Complete;  // the end of the connection is the end of the body
        }
    }
    *received = n;
    return kInetOk;
}

bool Request::FinishFromPending() {
    if (m_head.framing == BodyFraming::Length) {
        if (m_received.Pending().size() < m_remaining) {
            return false;
        }
        m_received.Consume(static_cast<std::size_t>(m_remaining));
        m_remaining = 0;
        m_state = BodyState::Complete;
        return true;
    }
    if (m_head.framing == BodyFraming::Chunked) {
        char scratch[4096];
        for (;;) {
            const std::string_view pending = m_received.Pending();
            std::size_t consumed = 0;
            std::size_t produced = 0;
            const ChunkedDecoder::Status status = m_chunked.Decode(
                pending.data(), pending.size(), scratch, sizeof scratch, &consumed, &produced);
            m_received.Consume(consumed);
            if (status == ChunkedDecoder::Status::Done) {
                m_state = BodyState::Complete;
                return true;
            }
            if (status == ChunkedDecoder::Status::Bad || (consumed == 0 && produced == 0)) {
                return false;
            }
        }
    }
    return false;
}

bool Request::Reusable() const {
    return m_state == BodyState::Complete && m_head.keepAlive &&
           (m_flags & kFlagKeepConnection) != 0 && m_received.Pending().empty();
}

}  // namespace RVUtil::transport

#include "transport/Request.h"

#include "transport/NetStream.h"
#include "transport/ProxyTunnel.h"
#include "transport/RequestHead.h"
#include "transport/Session.h"

namespace RVUtil::transport {

Request::Request(std::shared_ptr<SessionState> session,
                 std::shared_ptr<const ConnectionSettings> settings, std::string verb,
                 std::string path, RequestFlags flags)
    : m_session(std::move(session)),
      m_settings(std::move(settings)),
      m_verb(std::move(verb)),
      m_path(std::move(path)),
      m_flags(flags) {}

std::unique_ptr<Request> Request::Open(Connection& connection, std::string_view verb,
                                       std::string_view path, RequestFlags flags) {
    return std::unique_ptr<Request>(new Request(connection.m_session, connection.m_settings,
                                                std::string(verb), std::string(path), flags));
}

Request::~Request() {
    if (m_stream && m_body.Current() == BodyReader::State::Reading) {
        m_body.FinishFromPending();
    }
    if (m_stream && Reusable()) {
        m_session->Pool().PutIdle(m_key, std::move(m_stream));
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
    if (m_stage == Stage::Unsent || m_head.framing != BodyFraming::Length) {
        return std::nullopt;
    }
    return m_head.contentLength;
}

InetError Request::Fail(InetError error, std::string detail) {
    m_error = error;
    m_detail = std::move(detail);
    return error;
}

InetError Request::Send(const void* body, std::size_t length) {
    if (m_stage != Stage::Unsent) {
        return kInetInternalError;
    }
    if (length > 0 && body == nullptr) {
        return Fail(kInetInvalidParameter, "request body missing");
    }
    m_stage = Stage::SendFailed;
    if (m_settings->maxTime.count() > 0) {
        m_lastMoment = ReceiveDeadline::Clock::now() + m_settings->maxTime;
        m_deadline.Cap(m_lastMoment);
    }
    const platform::ProxyServer* proxy = Route();
    m_sentHead = BuildHead(proxy, length);
    return Exchange(proxy, std::string_view(static_cast<const char*>(body), length));
}

const platform::ProxyServer* Request::Route() {
    const ConnectionSettings& settings = *m_settings;
    const bool tls = m_flags.tls;
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
    return proxy;
}

std::string Request::BuildHead(const platform::ProxyServer* proxy, std::size_t length) const {
    const ConnectionSettings& settings = *m_settings;
    const bool tls = m_flags.tls;
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
    fields.keepConnection = m_flags.keepConnection;
    return BuildRequestHead(fields);
}

InetError Request::Exchange(const platform::ProxyServer* proxy, std::string_view payload) {
    const Millis receiveTimeout = m_settings->receiveTimeout;
    // A request that is not idempotent never goes out on a pooled connection: a server that
    // read it and then closed (its keep-alive time-out) may have acted on it, so it could not
    // be sent again, and it would fail for no fault of the server's. On a connection of its
    // own it goes out exactly once. GETs reuse pooled connections and replace a dead one.
    const bool idempotent = m_verb == "GET" || m_verb == "HEAD";
    for (int attempt = 0;; ++attempt) {
        std::unique_ptr<NetStream> stream;
        if (attempt == 0 && m_flags.keepConnection && idempotent) {
            stream = m_session->Pool().TakeIdle(m_key);
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
        InetError error = stream->Write(m_sentHead, payload, Within(receiveTimeout));
        if (error != kInetOk) {
            detail = error == kInetTimeout ? "sending the request" : stream->FailureText();
        } else {
            m_deadline.StartHead(receiveTimeout);
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
            return Fail(error, error == kInetTimeout ? TimedOut(receiveTimeout, detail) : detail);
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
            detail = TimedOut(settings.connectTimeout, detail);
        }
        return Fail(error, proxy != nullptr ? "proxy: " + detail : detail);
    }
    if (m_flags.tls) {
        if (proxy != nullptr) {
            error = OpenTunnel(*stream, *proxy, settings.host, settings.port,
                               settings.receiveTimeout, m_lastMoment, &detail);
            if (error != kInetOk) {
                return Fail(error, detail);
            }
        }
        if (error =
                stream->StartTls(settings.host, Within(settings.receiveTimeout), settings.trust);
            error != kInetOk) {
            return Fail(error, error == kInetTimeout
                                   ? TimedOut(settings.receiveTimeout, "in the TLS handshake")
                                   : stream->FailureText());
        }
    }
    *out = std::move(stream);
    return kInetOk;
}

void Request::StartBody() {
    m_stage = Stage::Sent;
    // The answer to a HEAD has no body, whatever length its head declares.
    if (m_verb == "HEAD") {
        m_head.framing = BodyFraming::None;
    }
    m_body.Start(m_head.framing, m_head.contentLength, *m_stream, m_received, m_deadline);
}

InetError Request::Read(void* data, std::size_t size, std::size_t* received) {
    switch (m_stage) {
        case Stage::Unsent:
            *received = 0;
            return kInetInternalError;
        case Stage::SendFailed:
            *received = 0;
            return m_error;
        case Stage::Sent:
            break;
    }
    return m_body.Read(static_cast<char*>(data), size, received);
}

bool Request::Reusable() const {
    return m_body.Current() == BodyReader::State::Complete && m_head.keepAlive &&
           m_flags.keepConnection && m_received.Pending().empty();
}

}  // namespace RVUtil::transport

#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "RVUtil/WinTypes.h"
#include "transport/ChunkedDecoder.h"
#include "transport/InetError.h"
#include "transport/InetSession.h"
#include "transport/ReceiveBuffer.h"
#include "transport/ReceiveDeadline.h"
#include "transport/ResponseHead.h"

// Connections and requests of the transport. A connection names a server and carries the
// credentials and time-outs; it touches the network only when one of its requests is sent.
// A request sends one HTTP/1.1 exchange and reads its response.
namespace RVUtil::transport {

class NetStream;

// Used where a time-out of 0 (or none) is given: long enough for any sane server, short
// enough that a dead one never holds a caller for good.
constexpr Millis kDefaultConnectTimeout{30'000};
constexpr Millis kDefaultReceiveTimeout{60'000};

// Request flags.
enum RequestFlag : DWORD {
    kFlagSecure = 0x00800000u,          // TLS
    kFlagKeepConnection = 0x00400000u,  // keep-alive: the connection goes back to the pool
};

struct ConnectionSettings {
    std::string host;
    std::uint16_t port = 0;
    std::optional<std::string> user;
    std::optional<std::string> password;
    Millis connectTimeout = kDefaultConnectTimeout;
    Millis receiveTimeout = kDefaultReceiveTimeout;
    // The proxies of this connection's requests instead of the session's, when set.
    std::optional<platform::SystemProxySettings> proxies;
    TlsTrust trust;
    // A bound on each whole request, connecting to the end of the body; zero for none.
    Millis maxTime{0};
};

class Connection {
  public:
    // Null for a host that is empty or holds a blank or control character (it cannot name a
    // server and would break the Host line). user and password may be null; only when both
    // are given do requests carry them, as HTTP Basic credentials.
    static std::unique_ptr<Connection> Open(Session& session, std::string_view host,
                                            std::uint16_t port, const char* user,
                                            const char* password);
    // Time-outs in milliseconds for the requests opened from now on; 0 restores the default.
    // The connect time-out bounds establishing a TCP connection. The receive time-out T
    // bounds the proxy tunnel, the TLS handshake and sending the request each; then the whole
    // response head, interim answers included, must arrive within T of the request being
    // sent, and the body must bring at least 1 KiB (or its end) in every T (see
    // ReceiveDeadline). Connects are never retried.
    void SetConnectTimeout(DWORD milliseconds);
    void SetReceiveTimeout(DWORD milliseconds);
    // The proxy settings of the requests opened from now on, instead of the session's.
    void SetProxies(platform::SystemProxySettings proxies);
    // What the TLS peers of the requests opened from now on must show (NetStream.h).
    void SetTlsTrust(TlsTrust trust);
    // A bound on each whole request opened from now on, every wait included; 0 for none.
    void SetMaxTime(Millis maxTime);

  private:
    friend class Request;
    Connection(std::shared_ptr<SessionState> session, std::shared_ptr<ConnectionSettings> settings);

    std::shared_ptr<SessionState> m_session;
    std::shared_ptr<ConnectionSettings> m_settings;
};

class Request {
  public:
    // path is the cracked path with its query string. flags: RequestFlag values.
    static std::unique_ptr<Request> Open(Connection& connection, std::string_view verb,
                                         std::string_view path, DWORD flags);
    // A connection whose response was read to its end goes back to the session's pool when
    // both sides keep it alive; otherwise it is closed.
    ~Request();
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // Adds one header line ("Name: value", a final CR LF allowed); lines go out in the order
    // they were added. A line holding CR, LF or NUL anywhere else is refused (false): it would
    // end early and start another header, or another request.
    bool AddHeaderLine(std::string_view line);
    // Takes a response whose Content-Length cannot be read (not a number, values that
    // differ) as one without a length instead of failing the send: for callers that read
    // the declared length from the header block themselves. Call before Send.
    void IgnoreUnreadableLength() { m_lengthRule = UnreadableLength::Ignore; }

    // Connects (or reuses a pooled connection), sends the request with length bytes of body
    // and reads the response head. A pooled connection that turns out to have been closed
    // by the server is replaced once by a new one. One exchange per request.
    InetError Send(const void* body, std::size_t length);

    // After a failed Send or Read: what went wrong in a few plain words ("connection
    // refused", "timed out after 3000 ms waiting for the response head", "bad chunk size").
    const std::string& ErrorDetail() const { return m_detail; }
    // The same failure as one value: its kind, the error number and those words.
    Failure LastFailure() const {
        return Failure{FailureKindOf(m_error, m_bodyStarted), m_error, m_detail};
    }

    // After Send: the request's head as the transport sends it.
    const std::string& SentHead() const { return m_sentHead; }

    // After a successful Send: the final response's status code, as a number and as the
    // three digits received, and the raw head (see ResponseHead::rawBlock).
    int StatusCode() const { return m_head.status; }
    const std::string& StatusText() const { return m_head.statusText; }
    const std::string& RawHeaders() const { return m_head.rawBlock; }
    // The body length the response head declares, when the body is framed by it.
    std::optional<std::uint64_t> DeclaredLength() const;

    // Delivers up to size body bytes, with the transfer coding removed. *received 0 means
    // the body has ended as its framing says. A body cut short (closed or reset before its
    // length or last chunk), a corrupt chunked coding and a body that stops moving (see
    // SetReceiveTimeout) fail, after the bytes that arrived before were delivered.
    InetError Read(void* data, std::size_t size, std::size_t* received);

  private:
    enum class BodyState { Unsent, Reading, Complete, Failed };

    Request(std::shared_ptr<SessionState> session,
            std::shared_ptr<const ConnectionSettings> settings, std::string verb, std::string path,
            DWORD flags);
    InetError OpenStream(const platform::ProxyServer* proxy, std::unique_ptr<NetStream>* out);
    InetError OpenTunnel(NetStream& stream, const platform::ProxyServer& proxy);
    // Records error with its detail and returns it.
    InetError Fail(InetError error, std::string detail);
    // Fail for a body read: the detail says how far the body got.
    InetError FailBody(InetError error, const std::string& streamText);
    void StartBody();
    // timeout, or less when the bound on the whole request comes sooner (0 when it has
    // passed).
    Millis Within(Millis timeout) const;
    InetError ReadLength(char* out, std::size_t size, std::size_t* received);
    InetError ReadChunked(char* out, std::size_t size, std::size_t* received);
    InetError ReadUntilClose(char* out, std::size_t size, std::size_t* received);
    // Finishes the body from bytes already received, without waiting; true when it could.
    bool FinishFromPending();
    bool Reusable() const;

    std::shared_ptr<SessionState> m_session;
    std::shared_ptr<const ConnectionSettings> m_settings;
    std::string m_verb;
    std::string m_path;
    DWORD m_flags;
    std::string m_lines;
    std::string m_sentHead;
    StreamKey m_key;
    std::unique_ptr<NetStream> m_stream;
    ReceiveBuffer m_received;
    ResponseHead m_head;
    BodyState m_state = BodyState::Unsent;
    bool m_bodyStarted = false;  // the head arrived: a failure from now on ends the body
    InetError m_error = kInetOk;
    std::string m_detail;
    ReceiveDeadline m_deadline;
    // The last moment of the whole request, when its connection bounds it.
    ReceiveDeadline::Clock::time_point m_lastMoment = ReceiveDeadline::Clock::time_point::max();
    std::uint64_t m_bodyReceived = 0;
    UnreadableLength m_lengthRule = UnreadableLength::Refuse;
    std::uint64_t m_remaining = 0;
    ChunkedDecoder m_chunked;
};

}  // namespace RVUtil::transport

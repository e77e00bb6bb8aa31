#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "RVUtil/Failure.h"
#include "transport/BodyReader.h"
#include "transport/Connection.h"
#include "transport/ConnectionPool.h"
#include "transport/InetError.h"
#include "transport/ReceiveBuffer.h"
#include "transport/ReceiveDeadline.h"
#include "transport/ResponseHead.h"

// A request sends one HTTP/1.1 exchange over a connection of the session's pool, or a new
// one, and reads its response.
namespace RVUtil::transport {

class NetStream;
class SessionState;

// How a request goes out.
struct RequestFlags {
    bool tls = false;             // over TLS
    bool keepConnection = false;  // keep-alive: the connection goes back to the pool
};

class Request {
  public:
    // path is the cracked path with its query string.
    static std::unique_ptr<Request> Open(Connection& connection, std::string_view verb,
                                         std::string_view path, RequestFlags flags);
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
    const std::string& ErrorDetail() const {
        return m_stage == Stage::Sent ? m_body.ErrorDetail() : m_detail;
    }
    // The same failure as one value: its kind, the error number and those words.
    Failure LastFailure() const {
        return m_stage == Stage::Sent ? m_body.LastFailure()
                                      : Failure{FailureKindOf(m_error, false), m_error, m_detail};
    }

    // After Send: the request's head as the transport sends it.
    const std::string& SentHead() const { return m_sentHead; }

    // After a successful Send: the final response's status code, as a number and as the
    // three digits received, and the head as received and read (see ResponseHead::parsed).
    int StatusCode() const { return m_head.status; }
    std::string_view StatusText() const { return m_head.parsed.View().Code(); }
    const std::string& RawHeaders() const { return m_head.parsed.Raw(); }
    const http::ParsedHead& Head() const { return m_head.parsed; }
    // The body length the response head declares, when the body is framed by it.
    std::optional<std::uint64_t> DeclaredLength() const;

    // Delivers up to size body bytes, with the transfer coding removed. *received 0 means
    // the body has ended as its framing says. A body cut short (closed or reset before its
    // length or last chunk), a corrupt chunked coding and a body that stops moving (see
    // Connection::SetReceiveTimeout) fail, after the bytes that arrived before were delivered.
    InetError Read(void* data, std::size_t size, std::size_t* received);

  private:
    enum class Stage { Unsent, SendFailed, Sent };

    Request(std::shared_ptr<SessionState> session,
            std::shared_ptr<const ConnectionSettings> settings, std::string verb, std::string path,
            RequestFlags flags);
    // The proxy the request goes through, or null; also sets the key of its connection.
    const platform::ProxyServer* Route();
    // The request's head for a body of length bytes.
    std::string BuildHead(const platform::ProxyServer* proxy, std::size_t length) const;
    // Sends the head and payload and reads the response head, on a pooled connection or a
    // new one (see Send).
    InetError Exchange(const platform::ProxyServer* proxy, std::string_view payload);
    InetError OpenStream(const platform::ProxyServer* proxy, std::unique_ptr<NetStream>* out);
    // Records error with its detail and returns it.
    InetError Fail(InetError error, std::string detail);
    void StartBody();
    // timeout, or less when the bound on the whole request comes sooner.
    Millis Within(Millis timeout) const { return transport::Within(timeout, m_lastMoment); }
    bool Reusable() const;

    std::shared_ptr<SessionState> m_session;
    std::shared_ptr<const ConnectionSettings> m_settings;
    std::string m_verb;
    std::string m_path;
    RequestFlags m_flags;
    std::string m_lines;
    std::string m_sentHead;
    StreamKey m_key;
    std::unique_ptr<NetStream> m_stream;
    ReceiveBuffer m_received;
    ResponseHead m_head;
    Stage m_stage = Stage::Unsent;
    InetError m_error = kInetOk;  // of a failed send
    std::string m_detail;
    ReceiveDeadline m_deadline;
    // The last moment of the whole request, when its connection bounds it.
    ReceiveDeadline::Clock::time_point m_lastMoment = ReceiveDeadline::Clock::time_point::max();
    UnreadableLength m_lengthRule = UnreadableLength::Refuse;
    BodyReader m_body;
};

}  // namespace RVUtil::transport

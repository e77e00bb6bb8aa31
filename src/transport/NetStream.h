#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "transport/InetError.h"
#include "transport/TlsTrust.h"

// The byte streams under the transport: TCP connections, optionally carrying TLS, whose
// every operation is bounded by a time-out, and the event loop they run on. NetStream.cpp
// and TlsContext.cpp are the only sources that know the network and TLS libraries; this
// header keeps them out of everything else.
namespace RVUtil::transport {

using Millis = std::chrono::milliseconds;

// The event loop of one session and, from its first TLS connection on, the TLS client
// settings with the trust store loaded (TlsContext.h). A loop is run by one thread at a
// time: the thread that uses the session.
class NetContext {
  public:
    // Null when the loop cannot be set up (no descriptors left, no memory).
    static std::shared_ptr<NetContext> Create(InetError* error);
    ~NetContext();
    NetContext(const NetContext&) = delete;
    NetContext& operator=(const NetContext&) = delete;

    struct Impl;
    Impl& impl() { return *m_impl; }

  private:
    NetContext();
    std::unique_ptr<Impl> m_impl;
};

class NetStream {
  public:
    // Resolves host (a name, an IPv4 literal or a bracketed IPv6 literal) and connects to
    // the first address that answers, all within timeout: the time-out bounds resolving and
    // connecting together, however long the system resolver would take (NameResolver.h);
    // address literals skip the resolver. On failure *detail says why in a few words
    // ("connection refused", "host name not resolved: <host>"), or for a time-out names the
    // step that ran out of time ("resolving <host>", "connecting").
    static std::unique_ptr<NetStream> Connect(const std::shared_ptr<NetContext>& context,
                                              std::string_view host, std::uint16_t port,
                                              Millis timeout, InetError* error,
                                              std::string* detail);
    ~NetStream();
    NetStream(const NetStream&) = delete;
    NetStream& operator=(const NetStream&) = delete;

    // Runs a TLS client handshake over the connection: the peer's certificate must chain
    // to the system's trust store (SSL_CERT_FILE / SSL_CERT_DIR can point elsewhere) and
    // name serverName; serverName also goes out as SNI unless it is an address.
    InetError StartTls(std::string_view serverName, Millis timeout, const TlsTrust& trust = {});
    // What went wrong in the last failed operation, in a few words: the peer's certificate
    // verdict for a TLS failure, the system's words for a socket error. Empty for a time-out,
    // whose length only the caller knows.
    std::string FailureText() const;

    // Sends all of first and then second.
    InetError Write(std::string_view first, std::string_view second, Millis timeout);
    // Waits for at least one byte and delivers up to size bytes. *received 0 with kInetOk
    // means the peer ended the stream (a TLS peer that just closed counts as ending it).
    InetError ReadSome(char* data, std::size_t size, Millis timeout, std::size_t* received);

    // For a stream that sat idle in a pool: false when the peer has closed it, reset it or
    // sent something nobody asked for, so that it must not carry another request.
    bool IsIdleAndOpen() const;

    struct Impl;

  private:
    explicit NetStream(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

}  // namespace RVUtil::transport

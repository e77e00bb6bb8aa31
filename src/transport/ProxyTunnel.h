#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SystemProxy.h"
#include "transport/InetError.h"
#include "transport/NetStream.h"
#include "transport/ReceiveDeadline.h"

// The tunnel a TLS request takes through an HTTP proxy: a CONNECT to the server, answered
// with a 2xx before the TLS handshake starts over the same connection.
namespace RVUtil::transport {

// Asks proxy, over stream (a connection to it), for a tunnel to host:port, with Basic
// credentials when the proxy has a user. timeout bounds sending the request and the whole
// answer each, and no wait goes past last. On failure *detail says why in a few words: a
// time-out (kInetTimeout), or kInetCannotConnect for a connection that failed, an answer
// that is not a 2xx, or bytes behind the answer.
InetError OpenTunnel(NetStream& stream, const platform::ProxyServer& proxy, std::string_view host,
                     std::uint16_t port, Millis timeout, ReceiveDeadline::Clock::time_point last,
                     std::string* detail);

}  // namespace RVUtil::transport

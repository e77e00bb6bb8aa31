#pragma once

#include <openssl/ssl.h>
#include <boost/asio/ssl/context.hpp>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "transport/InetError.h"
#include "transport/TlsTrust.h"

// The TLS side of the transport's streams: the client settings a session's handshakes use,
// with the trust store loaded, and what a failed handshake means. Only NetStream.cpp and
// TlsContext.cpp include this header, as they alone know the network and TLS libraries.
namespace RVUtil::transport {

// The TLS client settings of one session: one set for each trust its requests asked for,
// nearly always one, the trust store's. Loading the trust store costs a few milliseconds, so
// it is done once per session and trust, and only when a TLS connection is asked for.
class TlsContext {
  public:
    // The settings whose handshakes check peers against trust, made on first use. Null when
    // they cannot be made: a trust file or folder named but unreadable, no memory
    // (*error then says kInetSecureFailure).
    boost::asio::ssl::context* For(const TlsTrust& trust, InetError* error);

  private:
    std::vector<std::pair<TlsTrust, std::unique_ptr<boost::asio::ssl::context>>> m_made;
};

// Makes the handshake of session check that the peer's certificate names serverName (a host
// name, or an address literal without brackets), and send a name as SNI. False when the TLS
// library refused the name.
bool ExpectPeer(SSL* session, const std::string& serverName);

// The error number of a failed handshake, by the verdict on the peer's certificate
// (X509_V_OK when the certificate was not what failed).
InetError HandshakeErrorOf(long verdict);

// A failed handshake in a few words: the verdict on the peer's certificate, or else the TLS
// library's words for the failure.
std::string HandshakeFailureText(long verdict, const std::string& libraryWords);

}  // namespace RVUtil::transport

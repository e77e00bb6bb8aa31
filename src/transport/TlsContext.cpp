#include "transport/TlsContext.h"

#include <openssl/x509v3.h>
#include <boost/asio/ip/address.hpp>

#include "platform/TrustStore.h"

namespace RVUtil::transport {
namespace {

namespace ssl = boost::asio::ssl;

// The trust store the administrator named (platform/TrustStore.h), with a request's own file
// or folder in place of the store's, each part that is not named from OpenSSL's defaults. A
// named file or folder that cannot be read fails the TLS setup rather than trusting less, or
// other, certificates than asked; a default that is missing is skipped, as OpenSSL itself
// skips it.
void LoadTrustStore(ssl::context& context, const TlsTrust& trust) {
    platform::TrustStoreLocations named = platform::ReadTrustStoreLocations();
    if (!trust.caFile.empty()) {
        named.file = trust.caFile;
    }
    if (!trust.caPath.empty()) {
        named.dir = trust.caPath;
    }
    if (named.file.empty() && named.dir.empty()) {
        context.set_default_verify_paths();
        return;
    }
    boost::system::error_code ignored;
    if (!named.file.empty()) {
        context.load_verify_file(named.file);
    } else {
        context.load_verify_file(X509_get_default_cert_file(), ignored);
    }
    if (!named.dir.empty()) {
        context.add_verify_path(named.dir);
    } else {
        context.add_verify_path(X509_get_default_cert_dir(), ignored);
    }
}

bool IsNameMismatch(long verdict) {
    return verdict == X509_V_ERR_HOSTNAME_MISMATCH || verdict == X509_V_ERR_IP_ADDRESS_MISMATCH;
}

}  // namespace

ssl::context* TlsContext::For(const TlsTrust& trust, InetError* error) {
    for (const auto& [made, context] : m_made) {
        if (made == trust) {
            return context.get();
        }
    }
    try {
        auto context = std::make_unique<ssl::context>(ssl::context::tls_client);
        if (trust.verify) {
            LoadTrustStore(*context, trust);
            context->set_verify_mode(ssl::verify_peer);
        } else {
            context->set_verify_mode(ssl::verify_none);
        }
        m_made.emplace_back(trust, std::move(context));
        return m_made.back().second.get();
    } catch (const std::exception&) {
        *error = kInetSecureFailure;
        return nullptr;
    }
}

bool ExpectPeer(SSL* session, const std::string& serverName) {
    X509_VERIFY_PARAM* check = SSL_get0_param(session);
    boost::system::error_code ec;
    boost::asio::ip::make_address(serverName, ec);
    if (!ec) {
        return X509_VERIFY_PARAM_set1_ip_asc(check, serverName.c_str()) == 1;
    }
    X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return SSL_set_tlsext_host_name(session, serverName.c_str()) == 1 &&
           X509_VERIFY_PARAM_set1_host(check, serverName.c_str(), serverName.size()) == 1;
}

InetError HandshakeErrorOf(long verdict) {
    if (verdict == X509_V_OK) {
        return kInetSecureFailure;
    }
    return IsNameMismatch(verdict) ? kInetCertificateName : kInetCertificateUntrusted;
}

std::string HandshakeFailureText(long verdict, const std::string& libraryWords) {
    if (IsNameMismatch(verdict)) {
        return "TLS host name mismatch";
    }
    if (verdict != X509_V_OK) {
        return std::string("TLS certificate not trusted: ") +
               X509_verify_cert_error_string(verdict);
    }
    return "TLS handshake failed: " + libraryWords;
}

}  // namespace RVUtil::transport

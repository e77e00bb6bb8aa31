#pragma once

#include <string>

namespace RVUtil::transport {

// What a TLS peer must show. By default a certificate that chains to the trust store
// (platform/TrustStore.h) and names the server; caFile and caPath replace the store's file
// and folder for a request that names them; verify false takes any peer (for testing).
struct TlsTrust {
    std::string caFile;
    std::string caPath;
    bool verify = true;

    bool operator==(const TlsTrust&) const = default;
};

}  // namespace RVUtil::transport

#pragma once

#include <string>

namespace RVUtil::platform {

// Where the machine's administrator keeps the certificates a TLS peer must chain to, as the
// conventional variables name it: SSL_CERT_FILE, one file of certificates, and SSL_CERT_DIR,
// folders of hashed certificates separated by ':'. Each one left empty (unset, or set to
// nothing) means the TLS library's own default for it. Both fetchers ask here, so that one
// certificate gets one decision whichever fetches.
struct TrustStoreLocations {
    std::string file;
    std::string dir;
};

// Reads the environment anew on each call.
TrustStoreLocations ReadTrustStoreLocations();

}  // namespace RVUtil::platform

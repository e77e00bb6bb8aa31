#include "platform/TrustStore.h"

#include <cstdlib>

namespace RVUtil::platform {

TrustStoreLocations ReadTrustStoreLocations() {
    const auto read = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    return TrustStoreLocations{read("SSL_CERT_FILE"), read("SSL_CERT_DIR")};
}

}  // namespace RVUtil::platform

#include "CRVHttpFetcher/request2/HeaderBlockQuery.h"

#include <cstring>

#include "transport/InetRequest.h"

namespace RVUtil::request2 {

bool QueryRawHeaders(const transport::Request& request, char* buffer, DWORD* length, DWORD* error) {
    const std::string& block = request.RawHeaders();
    if (block.empty()) {
        *error = kErrorHeaderNotFound;
        return false;
    }
    // The transport refuses heads far below 4 GiB, so the size always fits the counter.
    const auto needed = static_cast<DWORD>(block.size() + 1);
    if (buffer == nullptr || *length < needed) {
        *length = needed;
        *error = kErrorInsufficientBuffer;
        return false;
    }
    std::memcpy(buffer, block.c_str(), needed);
    *length = static_cast<DWORD>(block.size());
    return true;
}

}  // namespace RVUtil::request2

#include "CRVHttpFetcher/RequestSetup.h"

#include <cstring>

#include "CRVHttpFetcher/FetcherLimits.h"
#include "platform/inet/InetRequest.h"

namespace RVUtil {

void CopyWorkingUrl(const char* url, char* work) {
    const std::size_t length = strnlen(url, kUrlBufferSize - 1);
    std::memcpy(work, url, length);
    work[length] = '\0';
}

DWORD RequestFlagsFor(unsigned short port) {
    constexpr DWORD kPlain =
        inet::kFlagReload | inet::kFlagNoCacheWrite | inet::kFlagKeepConnection | inet::kFlagNoUi;
    constexpr unsigned short kSecurePort = 443;
    return port == kSecurePort ? (kPlain | inet::kFlagSecure) : kPlain;
}

void AddRequestHeaderLines(const CStringArray& headers, inet::Request& request) {
    for (INT_PTR i = 0; i + 1 < headers.GetSize(); i += 2) {
        CString line;
        line.Format("%s: %s", headers[i].GetString(), headers[i + 1].GetString());
        request.AddHeaderLine(line.str());
    }
}

}  // namespace RVUtil

#pragma once

#include <memory>
#include <optional>
#include <string>

#include <RVUtil/RVUtil.h>

#include "Options.h"

namespace rvfetch {

class RecordTrail;

// One request as rvfetch sends it: the URL, the request headers, a POST body, the
// time-out handed to the read function, and the proxy.
struct Request {
    std::string url;
    HeaderList headers;
    std::optional<std::string> postData;
    unsigned long timeoutMs = 0;
    std::string proxyHost;
    unsigned short proxyPort = 0;
    bool wantExpiry = false;
};

// What one fetch gave: the read function's code, message, body and expiry, and the
// response's header block as received (it outlives the read function's EndRequest).
struct FetchResult {
    RVUtil::ErrorCode code = RVUtil::ERR_NO_FETCHER;
    CString message;
    std::unique_ptr<unsigned char[]> body;
    long size = 0;
    CTime32 expiry;
    CString rawHeaders;
    std::string refusedHeader;  // the library's record when it refused a request header
};

// One of the library's two fetchers, driven through its read functions.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    // Whether the fetcher has a time-out for connecting apart from the whole request.
    virtual bool hasConnectTimeout() const = 0;
    // Nothing is sent when the library refuses one of the request headers.
    virtual FetchResult fetch(const Request& request, const RecordTrail& trail) = 0;
};

// The backend the user asked for; auto follows the library's probe.
std::unique_ptr<Backend> ChooseBackend(BackendChoice choice);

const char* CodeName(RVUtil::ErrorCode code);

}  // namespace rvfetch

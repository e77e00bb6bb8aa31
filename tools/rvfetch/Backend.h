#pragma once

#include <memory>
#include <string>

#include <RVUtil/RVUtil.h>

#include "Options.h"

namespace rvfetch {

// What one fetch gave: the read function's code, message, body and expiry, and for -i
// the status and the response's header block as received.
struct FetchResult {
    RVUtil::ErrorCode code = RVUtil::ERR_NO_FETCHER;
    CString message;
    std::unique_ptr<unsigned char[]> body;
    long size = 0;
    CTime32 expiry;
    int status = 0;
    CString rawHeaders;
};

// One of the library's two fetchers, driven through its read functions.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    virtual FetchResult fetch(const Options& options) = 0;
};

std::unique_ptr<Backend> MakeCurlBackend();
std::unique_ptr<Backend> MakeInetBackend();

// The backend the user asked for; auto follows the library's probe.
std::unique_ptr<Backend> ChooseBackend(BackendChoice choice);

const char* CodeName(RVUtil::ErrorCode code);

}  // namespace rvfetch

#pragma once

#include "RVUtil/CCurlHttpFetcher.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "RVUtil/CurlReadFunctions.h"
#include "RVUtil/InetReadFunctions.h"

// The two families of read functions, as type parameters of the suites that run both: the
// functions of each form, and where the families differ on purpose.
namespace rvtest {

using namespace RVUtil;

struct CurlFamily {
    using Fetcher = CCurlHttpFetcher;
    static ErrorCode Full(Fetcher* f, const char* url, unsigned char** out, long& size,
                          CString& message, CTime32* expiry, unsigned long timeout) {
        return RVUtil_gfnCurlReadHTML(f, url, out, size, message, expiry, timeout);
    }
    static ErrorCode Short(Fetcher* f, const char* url, unsigned char** out, long& size,
                           unsigned long timeout) {
        return RVUtil_gfnCurlReadHTML(f, url, out, size, timeout);
    }
    static ErrorCode Post(Fetcher* f, const char* url, unsigned char** out, long& size,
                          unsigned long timeout, unsigned char* data, long length) {
        return RVUtil_gfnCurlReadHTMLWithPostData(f, url, out, size, timeout, data, length);
    }
    static ErrorCode Own(const char* url, unsigned char** out, long& size, CString& message,
                         CTime32* expiry, unsigned long timeout) {
        return RVUtil_gfnCurlReadHTMLWithCurlHttpFetcher(url, out, size, message, expiry, timeout);
    }
    static constexpr bool kNamesThread = true;
    static constexpr const char* kDecodeFailureMessage = nullptr;  // leaves the text alone
    static constexpr ErrorCode kPostNot200 = ERR_HTTP_STATUS;
    static constexpr bool kLogsPostDecodeFailure = false;
};

struct InetFamily {
    using Fetcher = CRVHttpFetcher;
    static ErrorCode Full(Fetcher* f, const char* url, unsigned char** out, long& size,
                          CString& message, CTime32* expiry, unsigned long timeout) {
        return RVUtil_gfnReadHTML(f, url, out, size, message, expiry, timeout);
    }
    static ErrorCode Short(Fetcher* f, const char* url, unsigned char** out, long& size,
                           unsigned long timeout) {
        return RVUtil_gfnReadHTML(f, url, out, size, timeout);
    }
    static ErrorCode Post(Fetcher* f, const char* url, unsigned char** out, long& size,
                          unsigned long timeout, unsigned char* data, long length) {
        return RVUtil_gfnReadHTMLWithPostData(f, url, out, size, timeout, data, length);
    }
    static ErrorCode Own(const char* url, unsigned char** out, long& size, CString& message,
                         CTime32* expiry, unsigned long timeout) {
        return RVUtil_gfnReadHTMLWithHttpFetcher(url, out, size, message, expiry, timeout);
    }
    static constexpr bool kNamesThread = false;
    static constexpr const char* kDecodeFailureMessage = "Decompress size <=0";
    // This fetcher's POST reports any status but 200 as a failed request.
    static constexpr ErrorCode kPostNot200 = ERR_REQUEST;
    static constexpr bool kLogsPostDecodeFailure = true;
};

}  // namespace rvtest

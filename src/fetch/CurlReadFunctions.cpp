#include "RVUtil/CurlReadFunctions.h"

#include "RVUtil/CCurlHttpFetcher.h"
#include "RVUtil/ThreadId.h"
#include "RVUtil/ThreadName.h"
#include "fetch/ReadSequence.h"

namespace RVUtil {

ErrorCode RVUtil_gfnCurlReadHTML(CCurlHttpFetcher* fetcher, const char* url, unsigned char** out,
                                 long& outSize, CString& message, CTime32* expiry,
                                 unsigned long timeoutMs) {
    if (fetcher == nullptr) {
        return ERR_NO_FETCHER;
    }
    SetThreadName(GetCurrentThreadId(), "CurlHttpFetcherThread");
    ReadForm form;
    form.message = &message;
    form.expiry = expiry;
    return ReadWithFetcher(*fetcher, url, out, outSize, timeoutMs, form);
}

ErrorCode RVUtil_gfnCurlReadHTML(CCurlHttpFetcher* fetcher, const char* url, unsigned char** out,
                                 long& outSize, unsigned long timeoutMs) {
    return ReadWithFetcher(fetcher, url, out, outSize, timeoutMs, ReadForm{});
}

ErrorCode RVUtil_gfnCurlReadHTMLWithPostData(CCurlHttpFetcher* fetcher, const char* url,
                                             unsigned char** out, long& outSize,
                                             unsigned long timeoutMs, unsigned char* postData,
                                             long postLength) {
    return ReadWithFetcher(fetcher, url, out, outSize, timeoutMs,
                           ReadForm::Post(postData, postLength));
}

ErrorCode RVUtil_gfnCurlReadHTMLWithCurlHttpFetcher(const char* url, unsigned char** out,
                                                    long& outSize, CString& message,
                                                    CTime32* expiry, unsigned long timeoutMs) {
    return ReadWithOwnFetcher<CCurlHttpFetcher>(url, out, outSize, message, expiry, timeoutMs,
                                                &RVUtil_gfnCurlReadHTML);
}

}  // namespace RVUtil

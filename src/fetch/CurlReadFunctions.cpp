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
    fetch::ReadForm form;
    form.message = &message;
    form.expiry = expiry;
    return fetch::ReadWithFetcher(*fetcher, url, out, outSize, timeoutMs, form);
}

ErrorCode RVUtil_gfnCurlReadHTML(CCurlHttpFetcher* fetcher, const char* url, unsigned char** out,
                                 long& outSize, unsigned long timeoutMs) {
    return fetch::ReadWithFetcher(fetcher, url, out, outSize, timeoutMs, fetch::ReadForm{});
}

ErrorCode RVUtil_gfnCurlReadHTMLWithPostData(CCurlHttpFetcher* fetcher, const char* url,
                                             unsigned char** out, long& outSize,
                                             unsigned long timeoutMs, unsigned char* postData,
                                             long postLength) {
    return fetch::ReadWithFetcher(fetcher, url, out, outSize, timeoutMs,
                                  fetch::ReadForm::Post(postData, postLength));
}

ErrorCode RVUtil_gfnCurlReadHTMLWithCurlHttpFetcher(const char* url, unsigned char** out,
                                                    long& outSize, CString& message,
                                                    CTime32* expiry, unsigned long timeoutMs) {
    return fetch::ReadWithOwnFetcher<CCurlHttpFetcher>(url, out, outSize, message, expiry,
                                                       timeoutMs, &RVUtil_gfnCurlReadHTML);
}

}  // namespace RVUtil

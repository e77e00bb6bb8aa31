#include "RVUtil/InetReadFunctions.h"

#include "RVUtil/CRVHttpFetcher.h"
#include "fetch/ReadSequence.h"

namespace RVUtil {

ErrorCode RVUtil_gfnReadHTML(CRVHttpFetcher* fetcher, const char* url, unsigned char** out,
                             long& outSize, CString& message, CTime32* expiry,
                             unsigned long timeoutMs) {
    fetch::ReadForm form;
    form.message = &message;
    form.expiry = expiry;
    form.messageOnDecodeFailure = true;
    return fetch::ReadWithFetcher(fetcher, url, out, outSize, timeoutMs, form);
}

ErrorCode RVUtil_gfnReadHTML(CRVHttpFetcher* fetcher, const char* url, unsigned char** out,
                             long& outSize, unsigned long timeoutMs) {
    return fetch::ReadWithFetcher(fetcher, url, out, outSize, timeoutMs, fetch::ReadForm{});
}

ErrorCode RVUtil_gfnReadHTMLWithPostData(CRVHttpFetcher* fetcher, const char* url,
                                         unsigned char** out, long& outSize,
                                         unsigned long timeoutMs, unsigned char* postData,
                                         long postLength) {
    fetch::ReadForm form = fetch::ReadForm::Post(postData, postLength);
    form.logDecodeFailure = true;
    return fetch::ReadWithFetcher(fetcher, url, out, outSize, timeoutMs, form);
}

ErrorCode RVUtil_gfnReadHTMLWithHttpFetcher(const char* url, unsigned char** out, long& outSize,
                                            CString& message, CTime32* expiry,
                                            unsigned long timeoutMs) {
    return fetch::ReadWithOwnFetcher<CRVHttpFetcher>(url, out, outSize, message, expiry, timeoutMs,
                                                     &RVUtil_gfnReadHTML);
}

}  // namespace RVUtil

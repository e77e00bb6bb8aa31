#pragma once

#include "RVUtil/CString.h"
#include "RVUtil/CTime32.h"
#include "RVUtil/ErrorCode.h"
#include "RVUtil/Export.h"

namespace RVUtil {

class CCurlHttpFetcher;

// One GET (or POST) over a curl fetcher, end to end: status 200 required, an encoded body
// decoded, the "RV_Error" verdict applied, the body handed over on ERR_OK in a buffer the
// caller releases with delete[] (a plain body carries one extra zero byte beyond outSize).
// The fetcher's request is ended on every path; a null fetcher gives ERR_NO_FETCHER.

// Full form: names the calling thread "CurlHttpFetcherThread", writes a message on codes
// 1, 2, 4 and 5, and stores the "VR_Expired" time through expiry when it is not null.
RVUTIL_API ErrorCode RVUtil_gfnCurlReadHTML(CCurlHttpFetcher* fetcher, const char* url,
                                            unsigned char** out, long& outSize, CString& message,
                                            CTime32* expiry, unsigned long timeoutMs);
// Short form: no message, no expiry, no thread naming.
RVUTIL_API ErrorCode RVUtil_gfnCurlReadHTML(CCurlHttpFetcher* fetcher, const char* url,
                                            unsigned char** out, long& outSize,
                                            unsigned long timeoutMs);
// POST form: as the short form, with a request body. A length below 0 or beyond int
// fails as ERR_REQUEST without a transfer.
RVUTIL_API ErrorCode RVUtil_gfnCurlReadHTMLWithPostData(CCurlHttpFetcher* fetcher, const char* url,
                                                        unsigned char** out, long& outSize,
                                                        unsigned long timeoutMs,
                                                        unsigned char* postData, long postLength);
// Own-fetcher form: the full form on a fetcher made for this call. ERR_INIT when its Init
// fails, ERR_NO_FETCHER when it raises.
RVUTIL_API ErrorCode RVUtil_gfnCurlReadHTMLWithCurlHttpFetcher(const char* url, unsigned char** out,
                                                               long& outSize, CString& message,
                                                               CTime32* expiry,
                                                               unsigned long timeoutMs);

}  // namespace RVUtil

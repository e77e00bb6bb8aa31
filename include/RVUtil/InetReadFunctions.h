#pragma once

#include "RVUtil/CString.h"
#include "RVUtil/CTime32.h"
#include "RVUtil/ErrorCode.h"
#include "RVUtil/Export.h"

namespace RVUtil {

class CRVHttpFetcher;

// The twins of the curl read functions over CRVHttpFetcher: one GET (or POST), status 200
// required, an encoded body decoded, the "RV_Error" verdict applied, the body handed over
// on ERR_OK in a buffer the caller releases with delete[] (a plain body carries one extra
// zero byte beyond outSize). The fetcher's request is ended on every path; a null fetcher
// gives ERR_NO_FETCHER. A non-zero time-out becomes the connection's connect and receive
// time-outs; 0 leaves the transport's defaults.

// Full form: writes a message on codes 1 to 5 and stores the "VR_Expired" time through
// expiry when it is not null. The calling thread is not renamed.
RVUTIL_API ErrorCode RVUtil_gfnReadHTML(CRVHttpFetcher* fetcher, const char* url,
                                        unsigned char** out, long& outSize, CString& message,
                                        CTime32* expiry, unsigned long timeoutMs);
// Short form: no message, no expiry.
RVUTIL_API ErrorCode RVUtil_gfnReadHTML(CRVHttpFetcher* fetcher, const char* url,
                                        unsigned char** out, long& outSize,
                                        unsigned long timeoutMs);
// POST form: as the short form, with a request body; a response other than 200 is a failed
// request here (ERR_REQUEST), and a body that decodes to nothing is logged. A length below
// 0 or beyond int fails as ERR_REQUEST without a transfer.
RVUTIL_API ErrorCode RVUtil_gfnReadHTMLWithPostData(CRVHttpFetcher* fetcher, const char* url,
                                                    unsigned char** out, long& outSize,
                                                    unsigned long timeoutMs,
                                                    unsigned char* postData, long postLength);
// Own-fetcher form: the full form on a fetcher made for this call. ERR_INIT when its Init
// fails, ERR_NO_FETCHER when it raises.
RVUTIL_API ErrorCode RVUtil_gfnReadHTMLWithHttpFetcher(const char* url, unsigned char** out,
                                                       long& outSize, CString& message,
                                                       CTime32* expiry, unsigned long timeoutMs);

}  // namespace RVUtil

#pragma once

#include <string>

#include "RVUtil/CCurlHttpFetcher.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "RVUtil/Failure.h"
#include "RVUtil/WinTypes.h"
#include "decoding/ResponseNotes.h"
#include "http/CallSettings.h"
#include "http/ParsedHead.h"

namespace RVUtil::fetch {

// What the read functions reach inside the two fetchers beyond their exported members.
struct FetcherAccess {
    // The last response's body as a new[] array of its size + 1 bytes, the last one zero,
    // for the caller to release with delete[]. A large body that the fetcher holds in a
    // block of its declared length is handed over as it is; another is copied. The
    // fetcher's body is empty afterwards (its buffer stays ready for the next request).
    // Null, with the body left as it was, when no memory can be had.
    static BYTE* TakeBody(CCurlHttpFetcher& fetcher);
    static BYTE* TakeBody(CRVHttpFetcher& fetcher);

    // Settings for the fetcher's requests from now on, until the next call (null: none, the
    // fetcher is itself again). They must outlive that time.
    static void SetCall(CCurlHttpFetcher& fetcher, const http::CallSettings* call);
    static void SetCall(CRVHttpFetcher& fetcher, const http::CallSettings* call);

    // Why the last request, or the last Decompress, failed (kind None when it did not).
    static Failure LastFailure(CCurlHttpFetcher& fetcher);
    static Failure LastFailure(CRVHttpFetcher& fetcher);
    // The last request's head as it was sent, when a fetch asked to keep it.
    static std::string RequestHead(CCurlHttpFetcher& fetcher);
    static std::string RequestHead(CRVHttpFetcher& fetcher);
    // The last response's head as received (GetRawResponseHeaders' text), and where its
    // parts lie in it (index), as the fetcher read it when it arrived.
    static std::string ResponseHead(CCurlHttpFetcher& fetcher, http::HeadIndex& index);
    static std::string ResponseHead(CRVHttpFetcher& fetcher, http::HeadIndex& index);
    // The value FindHeader gives for the verdict or the expiry header, from the fetcher's
    // notes on its response pairs instead of a search of them.
    static CString NotedValue(CCurlHttpFetcher& fetcher, decoding::ResponseNotes::Noted noted);
    static CString NotedValue(CRVHttpFetcher& fetcher, decoding::ResponseNotes::Noted noted);
};

}  // namespace RVUtil::fetch

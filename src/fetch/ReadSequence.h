#pragma once

#include <climits>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

#include "RVUtil/AfxException.h"
#include "RVUtil/CCurlHttpFetcher.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "RVUtil/CString.h"
#include "RVUtil/CTime32.h"
#include "RVUtil/ErrorCode.h"
#include "RVUtil/ExpiredTime.h"
#include "fetch/FetcherAccess.h"
#include "log/PXLog.h"

namespace RVUtil::fetch {

// What distinguishes one read function from its siblings; the sequence itself is shared
// by the curl and the transport families.
struct ReadForm {
    CString* message = nullptr;  // full forms write their messages here
    CTime32* expiry = nullptr;   // full forms store the expiry here when asked
    bool post = false;
    BYTE* postData = nullptr;
    long postLength = 0;
    bool messageOnDecodeFailure = false;  // the transport's full form says why decoding failed
    bool logDecodeFailure = false;        // the transport's POST form logs it instead
    // Called once the outcome is known and before the fetcher's request is ended, with the
    // code, and for a failure the body when one was made (which it may take, setting it to
    // null); a fetch reads the whole answer here (RVUtil/Fetch.h). A body handed over with
    // ERR_OK is not among them: it is the caller's already.
    std::function<void(ErrorCode code, unsigned char*& body, long size)> beforeEnd;

    // The form of a POST of length bytes of data.
    static ReadForm Post(BYTE* data, long length) {
        ReadForm form;
        form.post = true;
        form.postData = data;
        form.postLength = length;
        return form;
    }
};

// Whether the body of the request just made arrived whole. The own fetcher keeps what
// arrived of a body that failed part way and says so here; the curl fetcher's Request
// already fails on such a body.
inline bool BodyArrivedWhole(CRVHttpFetcher& fetcher) {
    return fetcher.IsResponseComplete() != 0;
}
inline bool BodyArrivedWhole(CCurlHttpFetcher&) {
    return true;
}

// One request on an initialised fetcher, from the status check to the hand-over of the
// body; the fetcher's request is ended on every path. Only code 0 hands a buffer over.
template <class Fetcher>
ErrorCode ReadWithFetcher(Fetcher& fetcher, const char* url, unsigned char** out, long& outSize,
                          unsigned long timeout, const ReadForm& form) {
    // A message that cannot be written for lack of memory is left out: the code still
    // tells what happened, and the caller's text stays as it was.
    const auto say = [&](const char* format, auto... args) {
        if (form.message != nullptr) {
            try {
                if constexpr (sizeof...(args) == 0) {
                    *form.message = format;  // a fixed text, no format to apply
                } else {
                    form.message->Format(format, args...);
                }
            } catch (const std::bad_alloc&) {
            } catch (CException* e) {
                e->Delete();
            }
        }
    };
    const auto finish = [&](ErrorCode code, unsigned char* body = nullptr, long size = 0) {
        if (form.beforeEnd) {
            form.beforeEnd(code, body, size);
        }
        delete[] body;
        fetcher.EndRequest();
        return code;
    };

    DWORD requested = 0;
    if (!form.post) {
        requested = fetcher.Request(url, nullptr, nullptr, static_cast<DWORD>(timeout));
    } else if (form.postLength >= 0 && form.postLength <= INT_MAX) {
        requested = fetcher.Request(url, nullptr, nullptr, static_cast<DWORD>(timeout),
                                    form.postData, static_cast<int>(form.postLength));
    }
    // A POST length that no request can carry (negative, or beyond int) fails like a
    // request that could not be sent, instead of reaching the transport as a different size;
    // so does a body that failed part way, which is never handed over as if it were whole.
    if (requested == 0 || !BodyArrivedWhole(fetcher)) {
        say("Request error! Timeout=%d", static_cast<int>(timeout));
        return finish(ERR_REQUEST);
    }

    const int status = fetcher.GetResponseHttpStatus();
    if (status != 200) {
        say("Status = %d!", status);
        return finish(ERR_HTTP_STATUS);
    }

    unsigned char* body = nullptr;
    if (fetcher.IsEncoding()) {
        const long decoded = fetcher.Decompress(&body);
        if (decoded <= 0) {
            if (form.logDecodeFailure) {
                LogChannel()(log::CPXLog::LVL_ERROR)
                    .Write("RVUtil_gfnReadHTMLWithPostData Decompress error: cbData=%d",
                           static_cast<int>(decoded));
            }
            if (form.messageOnDecodeFailure) {
                say("Decompress size <=0");
            }
            return finish(ERR_DECOMPRESS, body);
        }
        *out = body;
        outSize = decoded;
    } else {
        // The fetcher's own block goes to the host when it holds the body whole at its size;
        // otherwise the body is copied.
        const long length = fetcher.GetResponseSize();
        body = FetcherAccess::TakeBody(fetcher);
        if (body == nullptr) {
            say("Alloc size exception!");
            return finish(ERR_ALLOC);
        }
        *out = body;
        outSize = length;
    }

    using Noted = decoding::ResponseNotes::Noted;
    const CString verdict = FetcherAccess::NotedValue(fetcher, Noted::Verdict);
    if (!verdict.IsEmpty()) {
        unsigned char* refused = std::exchange(*out, nullptr);
        say("RV Error:%s!", verdict.GetString());
        return finish(ERR_SERVER_VERDICT, refused, outSize);
    }
    if (form.expiry != nullptr) {
        *form.expiry = RVUtil_gfnGetExpiredTime(FetcherAccess::NotedValue(fetcher, Noted::Expiry));
    }
    return finish(ERR_OK);
}

// The forms that bring their own fetcher: made, initialised, used once and destroyed.
template <class Fetcher>
ErrorCode ReadWithOwnFetcher(const char* url, unsigned char** out, long& outSize, CString& message,
                             CTime32* expiry, unsigned long timeout,
                             ErrorCode (*fullForm)(Fetcher*, const char*, unsigned char**, long&,
                                                   CString&, CTime32*, unsigned long)) {
    Fetcher* fetcher = nullptr;
    try {
        fetcher = new Fetcher;
        if (!fetcher->Init()) {
            delete fetcher;
            return ERR_INIT;
        }
    } catch (...) {
        // Init's own failure, and a fetcher that could not even be made, both mean that
        // the call has no fetcher to work with.
        delete fetcher;
        return ERR_NO_FETCHER;
    }
    const ErrorCode code = fullForm(fetcher, url, out, outSize, message, expiry, timeout);
    delete fetcher;
    return code;
}

// ReadWithFetcher through the pointer a host gave: a null fetcher is ERR_NO_FETCHER.
template <class Fetcher>
ErrorCode ReadWithFetcher(Fetcher* fetcher, const char* url, unsigned char** out, long& outSize,
                          unsigned long timeout, const ReadForm& form) {
    if (fetcher == nullptr) {
        return ERR_NO_FETCHER;
    }
    return ReadWithFetcher(*fetcher, url, out, outSize, timeout, form);
}

}  // namespace RVUtil::fetch

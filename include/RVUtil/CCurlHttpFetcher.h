#pragma once

#include "RVUtil/CString.h"
#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

namespace fetch {
struct FetcherAccess;
}  // namespace fetch

namespace curl {
class CCurlHttpFetcherImpl;
}  // namespace curl

// An HTTP client over libcurl. Init configures it; each request then runs on a fresh copy of
// that configuration, while keep-alive connections carry over from one request to the next
// until Fini. Only http and https URLs are fetched. Every operation except IsInit holds the
// fetcher's recursive lock for its whole run, so calls from several threads are serialised;
// Fini from another thread also cancels a running transfer. A closed fetcher (after Fini)
// answers with empty values: null, 0, an empty string, status 404.
class RVUTIL_API CCurlHttpFetcher {
  public:
    CCurlHttpFetcher();
    ~CCurlHttpFetcher();
    CCurlHttpFetcher(const CCurlHttpFetcher&) = delete;
    // Makes this fetcher a fresh one configured like other: its own transfer and handle are
    // finished, then it gets a new implementation holding copies of other's request
    // headers, initialised when other is. Responses, proxies and the handle are not shared.
    CCurlHttpFetcher& operator=(const CCurlHttpFetcher& other);

    // TRUE when the handle was created and configured, FALSE when already initialised.
    // Any failure inside raises a char* exception reading "Curl Init Fail".
    BOOL Init();
    void Fini();
    BOOL IsInit();
    void SetProxy(const char* host, WORD port);
    void SetNoProxy(const char* hosts);

    // Request headers are sent with every request; an Accept-Encoding value naming gzip also
    // has libcurl decode gzip bodies itself. An empty value suppresses the header. A name or
    // value that could end its line (CR, LF, NUL; in a name also a colon or white space), or
    // an empty name, is refused with a WARNING record and nothing is stored.
    void AddHeader(const char* name, const char* value);
    void RemoveHeader(const char* name);
    // The first response header of that name, letter case ignored; empty when none.
    CString FindHeader(const CString& name);

    // 1 when the exchange completed (whatever its status), 0 on failure or when closed.
    // Credentials apply when both are non-null and stay for later requests; timeout is in
    // milliseconds for the whole transfer, 0 for none. A body over the process's body limit
    // (RVUtil_gfnSetBodyLimit) fails the request. The POST form does not verify a TLS peer;
    // that applies to that POST alone.
    DWORD Request(const char* url, const char* user, const char* password, DWORD timeout);
    DWORD Request(const char* url, const char* user, const char* password, DWORD timeout,
                  BYTE* data, int length);
    // The body stays readable until the next Request, Fini or destruction.
    BYTE* GetResponse();
    long GetResponseSize();
    int GetResponseHttpStatus();
    void EndRequest();
    // The last transfer's header block exactly as received (status line, header lines and
    // their line ends), for diagnostics; like the body it stays until the next Request,
    // EndRequest does not drop it. Empty when the fetcher is closed.
    CString GetRawResponseHeaders();

    // TRUE when the last body still needs Decompress (zstd, or gzip libcurl did not decode).
    BOOL IsEncoding();
    // Decodes the body into a new buffer that the caller releases with delete[]; the result
    // is the decoded length, or 0 or a negative number on failure.
    long Decompress(BYTE** out);

  private:
    // The read functions reach the body inside, to hand it over without a copy.
    friend struct fetch::FetcherAccess;
    curl::CCurlHttpFetcherImpl* m_pImpl;
};

}  // namespace RVUtil

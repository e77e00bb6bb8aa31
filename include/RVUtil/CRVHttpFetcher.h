#pragma once

#include <cstdint>

#include "RVUtil/CString.h"
#include "RVUtil/CStringArray.h"
#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

namespace fetch {
struct FetcherAccess;
}  // namespace fetch

namespace transport {
class Request;
class Session;
}  // namespace transport

// HTTP client over the library's own transport: one session per object, GET and POST
// requests whose status, headers and body stay in the object until EndRequest, and the
// decoding of gzip and zstd bodies. One object is used by one thread at a time.
class RVUTIL_API CRVHttpFetcher {
  public:
    enum Protocol {
        PROTOCOL_UNKNOWN = 0,
        PROTOCOL_FTP = 1,
        PROTOCOL_HTTP = 2,  // http and https alike
    };

    CRVHttpFetcher();
    ~CRVHttpFetcher();
    CRVHttpFetcher(const CRVHttpFetcher&) = delete;
    CRVHttpFetcher& operator=(const CRVHttpFetcher&) = delete;

    // Opens the session and allocates the 2048-byte response buffer; 1 on success.
    int Init();
    int InitHelper();
    int IsInit();
    // Closes the session and releases the response buffer.
    void Fini();
    // Closes the session only.
    void FiniHelper();

    // GET url. Returns the HTTP status received, or 0 when there was none. timeout in
    // milliseconds, 0 for the transport's defaults (30 s connect, 60 s receive): the
    // response head must arrive within it of the request being sent, and the body must bring
    // at least 1 KiB in every such span. userName and password may be null. An https URL goes
    // over verified TLS whatever its port, and so does an http URL naming port 443. A URL
    // longer than 64 KiB, or holding a control character, is refused with a log record.
    // A body that fails part way (cut short, corrupt, stalled, or over the body limit of
    // RVUtil_gfnGetBodyLimit) keeps what arrived and still returns the status; see
    // IsResponseComplete.
    DWORD Request(const char* url, const char* userName, const char* password, DWORD timeout);
    // POST of postLength bytes (a GET when postLength is 0). Returns 200 or 0.
    DWORD Request(const char* url, const char* userName, const char* password, DWORD timeout,
                  BYTE* postData, int postLength);
    // A self-contained GET or POST (POST when postLength is not 0) over a session of its own
    // for this call, so it works without Init. It starts from an empty response, keeps
    // every response header (merged by name, letter case ignored, repeats joined with
    // "; "), and reads a body of the length that Content-Length declares. Returns the
    // status received, or 0 for a URL that is not http or https (or is refused, as for
    // Request). Failures raise std::runtime_error naming the failed step, a body cut short
    // included; a lack of memory raises std::bad_alloc (CMemoryException* from the response
    // header list), and so does a declared length above the body limit, before anything is
    // allocated.
    DWORD Request2(const char* url, const char* userName, const char* password, DWORD timeout,
                   BYTE* postData, int postLength);

    // Request headers, sent with every request as "name: value" in list order. A name that
    // is empty or holds a colon, a blank or a control character, and a value holding CR, LF
    // or NUL, are refused: nothing is stored and a WARNING record names the header.
    void AddHeader(const char* name, const char* value);
    void RemoveHeader(const char* name);
    // Value of the first response header of that name, letter case ignored; empty if none.
    CString FindHeader(const CString& name);
    // Drops the current response's size, status and headers; the buffer stays for reuse.
    void EndRequest();
    // 1 unless the body of the last Request failed part way: closed or reset before its
    // declared length or last chunk, a corrupt chunked coding, a body that stopped moving,
    // or one that passed the body limit. Then it is 0: the part that arrived is in the
    // buffer and Request returned the status, but the body must not be used as whole. The
    // read functions answer ERR_REQUEST for such a body. EndRequest sets it back to 1.
    int IsResponseComplete();
    // The last response's header block exactly as received (status line, header lines and
    // the empty line, each ended as the server ended it), for diagnostics; it stays until the next
    // Request or Request2, EndRequest does not drop it.
    CString GetRawResponseHeaders();
    BYTE* GetResponse();
    int GetResponseHttpStatus();
    long GetResponseSize();

    // 1 when the body must go through Decompress (Content-Encoding gzip or zstd).
    int IsEncoding();
    // Decodes the body into a new buffer, released by the caller with delete[]; the result
    // is the decoded length, or 0 or a negative number on failure.
    long Decompress(BYTE** out);

    // Two values kept for the caller; nothing in the library sets or reads them.
    void SetReq(DWORD value);
    DWORD ReqTime();
    void SetZip(DWORD value);
    DWORD ZipTime();
    void ClearTime();

  protected:
    int IsSessionReady(int create);
    int IsDataBufferReady();
    void CloseSession();
    // Canonicalises url in place (a writable buffer of 2048 bytes) and splits it into the
    // host name (256 bytes), the path with its query string (2048 bytes) and the port; a
    // null out-parameter is not delivered, and none is written on failure.
    Protocol CrackUrl(char* url, char* hostName, char* urlPath, unsigned short* port);
    // Appends length bytes to the response buffer, growing it to exactly what is needed.
    int SaveData(BYTE* data, unsigned int length);
    // Records one "Name: value" response header line (the value after ": ").
    void ParseHeader(char* line);

    transport::Session* m_hSession;
    // The response buffer, its capacity and the body's size in it. The fetcher keeps the
    // block itself (a body whose length is declared is read straight into one of that
    // length); these show it to derived classes, which only read them. Hosts borrow the
    // buffer through GetResponse.
    BYTE* m_pBuffer;
    std::int32_t m_nCapacity;
    std::int32_t m_nSize;
    std::int32_t m_nHttpStatus;
    DWORD m_dwZipTime;
    DWORD m_dwReqTime;
    CStringArray m_arrRespHeaders;
    CStringArray m_arrReqHeaders;

  private:
    // The read functions reach the body inside, to hand it over without a copy.
    friend struct fetch::FetcherAccess;
    struct Internals;

    CString m_strRawHeaders;  // the last response's header block, see GetRawResponseHeaders
    DWORD m_dwReadError;      // the transport's error number for a failed body, else 0
    // What the fetcher keeps beyond the fields above (the block the buffer lives in).
    Internals* m_pInternals;

    // Points m_pBuffer, m_nCapacity and m_nSize at the block as it now is.
    void ShowBuffer();

    DWORD Exchange(const char* url, const char* userName, const char* password, DWORD timeout,
                   BYTE* postData, int postLength, bool postForm);
    void ReadBody(transport::Request& request, const char* urlPath);
    void StreamBody(transport::Request& request, const char* urlPath);
};

}  // namespace RVUtil

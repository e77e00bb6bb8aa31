#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "RVUtil/CCriticalSection.h"
#include "RVUtil/CString.h"
#include "RVUtil/Failure.h"
#include "RVUtil/WinTypes.h"
#include "buffers/BodyStore.h"
#include "curl/CurlBodyReceiver.h"
#include "curl/CurlByteArray.h"
#include "curl/CurlHeadReader.h"
#include "decoding/BodyDelivery.h"
#include "decoding/ResponseNotes.h"
#include "http/CallSettings.h"
#include "http/HeaderPairs.h"

namespace RVUtil::curl {

// What stands behind CCurlHttpFetcher: a configured easy handle that each request copies
// into a fresh one for its transfer, the multi handle those transfers run on (it keeps the
// connections and resolved names from one request to the next), the response collected and
// the headers the caller configured. A fresh easy handle per request means nothing a
// transfer leaves inside libcurl can reach the next one. Lock discipline: every operation
// but IsInit holds m_lock for its whole run (the blocking transfer included); Init takes
// the process-wide Init lock first. The callbacks run inside the transfer on the thread of
// Request, which already holds m_lock, and so take no lock of their own.
class CCurlHttpFetcherImpl {
  public:
    CCurlHttpFetcherImpl();
    ~CCurlHttpFetcherImpl();
    CCurlHttpFetcherImpl(const CCurlHttpFetcherImpl&) = delete;
    CCurlHttpFetcherImpl& operator=(const CCurlHttpFetcherImpl&) = delete;

    BOOL Init();
    void Fini();
    BOOL IsInit();
    void SetProxy(const char* host, WORD port);
    void SetNoProxy(const char* hosts);

    void AddHeader(const char* name, const char* value);
    void RemoveHeader(const char* name);
    CString FindHeader(const CString& name);

    DWORD Request(const char* url, const char* user, const char* password, DWORD timeout);
    DWORD Request(const char* url, const char* user, const char* password, DWORD timeout,
                  BYTE* data, int length);
    BYTE* GetResponse();
    long GetResponseSize();
    int GetResponseHttpStatus();
    void EndRequest();
    CString GetRawResponseHeaders();
    // The last response's head as received, and where its parts lie in it (index): the head
    // read once, as it arrived. Empty on a closed fetcher.
    std::string RawHead(http::HeadIndex& index);

    BOOL IsEncoding();
    long Decompress(BYTE** out);

    // The value of the first response pair of that name, as FindHeader gives it, from the
    // notes on the pairs.
    CString NotedValue(decoding::ResponseNotes::Noted noted);
    // A copy of the stored request header pairs.
    http::HeaderList RequestHeaders();
    // Why the last request failed; kind None after one that completed.
    const Failure& LastFailure() const { return m_failure; }
    // The body as a new[] array of its size + 1 bytes, the last one zero, for the caller to
    // release with delete[]: a body held in a block of its declared length goes as it is,
    // another is copied. The fetcher's body is empty afterwards. Null when no memory can be
    // had (or the fetcher is closed), with the body left as it was.
    BYTE* TakeBody();
    // Settings for the requests from now on, until the next call (null: none): those of a
    // fetch (RVUtil/Fetch.h). They must outlive that time.
    void SetCall(const http::CallSettings* call);

    // libcurl callbacks.
    static std::size_t OnWriteBody(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t OnWriteHeader(char* data, std::size_t size, std::size_t count, void* user);
    static int OnProgress(void* user, double downloadTotal, double downloaded, double uploadTotal,
                          double uploaded);
    static int OnCloseSocket(void* user, curl_socket_t socket);
    // A fetch that keeps its request head: libcurl's outgoing header bytes.
    static int OnDebug(CURL* handle, curl_infotype type, char* data, std::size_t size, void* user);
    // The last request's head, when a fetch asked to keep it.
    const std::string& RequestHead() const { return m_requestHead; }

  private:
    struct PostBody {
        BYTE* data;
        int length;
    };

    DWORD Execute(const char* url, const char* user, const char* password, DWORD timeout,
                  const PostBody* post);
    // The transfer handle of one request: a copy of m_curl with the request's own options.
    // Null, with m_lastCode saying why, when it cannot be made.
    CURL* StartTransfer(const char* url, DWORD timeout, const PostBody* post, long long bodyLimit);
    // The options of a POST, which belong to its transfer alone.
    void ApplyPost(CURL* transfer, const PostBody& post);
    // Runs the transfer to its end: m_lastCode and m_httpStatus say how it went, a head cut
    // short fails it, and a body that came whole is completed. True when bytes of the
    // request went out.
    bool RunTransfer(CURL* transfer);
    // After the transfer handle went: how the exchange ended for the caller (a streamed
    // body's delivery, the gzip body, the recorded header lines); Request's result.
    DWORD EndTransfer(const char* url, const PostBody* post, long long bodyLimit, bool requestSent);
    // Records the failure of the last request (m_failure, from m_lastCode and what the
    // transfer left) and writes its records; returns 0, Request's result for it.
    DWORD FailTransfer(const char* url, const PostBody* post, long long bodyLimit,
                       bool requestSent = false);
    // The options every transfer copies from the configured handle: the callbacks and their
    // data, the schemes allowed, the trust store.
    void ConfigureHandle();
    void ApplySystemProxy(CURL* handle);
    void ResetResponse();
    // Installs pairs as the request headers and their libcurl list. FALSE, with nothing
    // changed, when libcurl cannot allocate a line; raises only for lack of memory, and then
    // changes nothing either.
    bool InstallRequestHeaders(http::HeaderList pairs);
    // Cleans up the handles Init made (a null one is skipped) and sets them to null.
    void ReleaseHandles();
    // The libcurl list of the header pairs: each "name:value" (an empty value suppresses the
    // header), but a fetch's own "Name: value" ("Name;" for an empty one, which libcurl sends
    // empty). False, with nothing made, when libcurl cannot allocate a line; raises only for
    // lack of memory.
    static bool BuildHeaderList(const http::HeaderList& pairs, const std::vector<bool>& fromFetch,
                                curl_slist** list);
    // A fetch's options on the transfer handle: its headers, connect time-out, decoding and
    // where its body goes. False when they cannot be set (no memory).
    bool ApplyCall(CURL* transfer, std::uint64_t bodyLimit);
    // A fetch's own request headers, merged with the stored ones, as the transfer's list
    // (m_callHeaderList). False when libcurl cannot allocate a line.
    bool ApplyCallHeaders(CURL* transfer, const FetchOptions& options);
    // A streaming fetch's transfer that ended as its delivery wanted: the body was not to be
    // delivered, or did not decode (which is the decoding's failure, as for a whole body).
    bool EndedByDelivery() const;
    // After a transfer that completed: the gzip body of a fetcher that asked for gzip
    // (Accept-Encoding) decoded in place, within bodyLimit. False, with m_lastCode and
    // m_decodeFailure saying why, when it does not decode.
    bool DecodeGzipBody(long long bodyLimit);
    // m_notes, with the pairs recorded since they were last brought up to date noted.
    const decoding::ResponseNotes& Notes();

    friend struct CCurlHttpFetcherImplTestAccess;

    // The fields of the responses since the last EndRequest, and the caller's request headers.
    http::HeaderList m_responseHeaders;
    http::HeaderList m_requestHeaders;
    // What IsEncoding, Decompress and the read functions ask of m_responseHeaders; cleared
    // with them.
    decoding::ResponseNotes m_notes;
    // The configured handle; it never runs a transfer itself.
    CURL* m_curl = nullptr;
    CURLM* m_multi = nullptr;
    // Shares TLS session tickets between the transfer handles, so that a new connection to
    // a server can resume an earlier handshake (libcurl resumes only under equal
    // verification settings).
    CURLSH* m_share = nullptr;
    CURLcode m_lastCode = CURLE_OK;
    buffers::BodyStore m_body;
    CurlByteArray m_rawHeaders;
    // Where the parts of the final head lie in m_rawHeaders, as the head reader found them.
    http::HeadIndex m_headIndex;
    // What the write callback hands its bytes to; it fills m_body.
    CurlBodyReceiver m_bodyReceiver{m_body, m_rawHeaders, m_headIndex};
    // What the header callback hands its lines to; it fills m_rawHeaders.
    CurlHeadReader m_headReader{m_rawHeaders, m_headIndex};
    Failure m_failure;
    // The last request's URL, for the records Decompress writes.
    std::string m_lastUrl;
    // The fetch in progress (null outside one), the list of its request headers and the
    // delivery of its streamed body, both for its one transfer.
    const http::CallSettings* m_call = nullptr;
    curl_slist* m_callHeaderList = nullptr;
    std::unique_ptr<decoding::BodyDelivery> m_delivery;
    // The streamed body did not decode: IsEncoding and Decompress report it.
    bool m_streamUndecodable = false;
    // Why the gzip body the fetcher decodes itself did not decode.
    Failure m_decodeFailure;
    std::string m_requestHead;
    // The time-out of the transfer in progress, in milliseconds (0: none).
    DWORD m_transferTimeout = 0;
    // Read without the lock by IsInit, hence atomic.
    std::atomic<BOOL> m_initialized{FALSE};
    // Written by Fini without the lock, read by OnProgress on the transfer's thread.
    std::atomic<std::int32_t> m_abort{0};
    curl_slist* m_headerList = nullptr;
    // The status of the last request's transfer (0 when none was received), read when its
    // handle goes.
    long m_httpStatus = 0;
    BOOL m_closed = FALSE;
    CCriticalSection m_lock;
    BOOL m_curlDecodesGzip = FALSE;
    // libcurl's own words on why the last transfer failed; empty when it gave none.
    char m_errorText[CURL_ERROR_SIZE] = {};
};

}  // namespace RVUtil::curl

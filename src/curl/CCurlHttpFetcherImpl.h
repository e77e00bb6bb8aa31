#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "RVUtil/CCriticalSection.h"
#include "RVUtil/CString.h"
#include "RVUtil/CStringArray.h"
#include "RVUtil/WinTypes.h"
#include "curl/CurlByteArray.h"

namespace RVUtil {

// What stands behind CCurlHttpFetcher: one easy handle, the response it collected and the
// headers the caller configured. Lock discipline: every operation but IsInit holds m_lock
// for its whole run (the blocking transfer included); Init takes the process-wide Init
// lock first. The callbacks run inside curl_easy_perform on the thread of Request, which
// already holds m_lock, and so take no lock of their own.
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

    BOOL IsEncoding();
    long Decompress(BYTE** out);

    // A copy of the stored request header pairs (name, value, name, value ...).
    CStringArray RequestHeaders();

    // libcurl callbacks.
    static std::size_t OnWriteBody(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t OnWriteHeader(char* data, std::size_t size, std::size_t count, void* user);
    static int OnProgress(void* user, double downloadTotal, double downloaded, double uploadTotal,
                          double uploaded);
    static int OnCloseSocket(void* user, curl_socket_t socket);

  private:
    struct PostBody {
        BYTE* data;
        int length;
    };

    DWORD Execute(const char* url, const char* user, const char* password, DWORD timeout,
                  const PostBody* post);
    DWORD FailTransfer(const char* url, const PostBody* post);
    void SplitHeaderBlock();
    void ApplySystemProxy(CURL* handle);
    void ResetResponse();
    void ParseHeader(char* line);
    // Frees m_pHeaderList and builds it anew from every stored pair; FALSE (old list kept)
    // when libcurl cannot allocate a line.
    bool RebuildHeaderList();

    friend struct CCurlHttpFetcherImplTestAccess;

    CStringArray m_arrRespHeaders;
    CStringArray m_arrReqHeaders;
    CURL* m_pCurl = nullptr;
    CURLcode m_nLastCode = CURLE_OK;
    CurlByteArray m_vecBody;
    CurlByteArray m_vecRawHeaders;
    // Read without the lock by IsInit, hence atomic.
    std::atomic<BOOL> m_bInit{FALSE};
    // Written by Fini without the lock, read by OnProgress on the transfer's thread.
    std::atomic<std::int32_t> m_nAbort{0};
    curl_slist* m_pHeaderList = nullptr;
    long m_nHttpStatus = 0;
    BOOL m_bClosed = FALSE;
    CCriticalSection m_lock;
    BOOL m_bCurlDecodesGzip = FALSE;
    // TRUE while the handle still carries the method and data of an earlier POST.
    BOOL m_bPostOnHandle = FALSE;
};

}  // namespace RVUtil

// One exchange on a fresh transfer handle: GET and POST, the data callbacks, the header
// block's recorded lines, the response accessors and the decoding of the body.
#include <cxxabi.h>

#include <memory>
#include <string>
#include <string_view>

#include "RVUtil/BodyLimit.h"
#include "curl/CCurlHttpFetcherImpl.h"
#include "curl/CurlLibrary.h"
#include "curl/CurlMultiTransfer.h"
#include "decoding/ContentDecoding.h"
#include "http/BodyLimitRecord.h"
#include "http/HeaderLines.h"
#include "log/PXLog.h"

namespace RVUtil {

namespace {

// Fixed texts: hosts and their log readers match on them, so they do not change.
constexpr const char* kSendError = "[Curl Send Error]ErrorCode=%d, HttpStatus=%d, Url=%s";
constexpr const char* kPostSendError = "[Curl Post Send Error]ErrorCode=%d, HttpStatus=%d, Url=%s";
// libcurl's own words on a failure, after one of the two above.
constexpr const char* kErrorDetail = "[Curl Error Detail]%s";

struct TransferCleanup {
    void operator()(CURL* transfer) const { Curl().easy_cleanup(transfer); }
};

// Stands in for a null data pointer of an empty POST: libcurl would otherwise take a null
// field pointer as an order to read the body from its read callback (standard input).
BYTE s_emptyPostBody[1] = {0};

std::size_t AppendTo(void* user, const char* data, std::size_t size, std::size_t count) {
    if (user == nullptr) {
        return 0;  // CURLE_WRITE_ERROR
    }
    const std::size_t bytes = size * count;
    // A growth that cannot be made must not travel through libcurl: the array reports it
    // without throwing, and refusing the bytes ends the transfer with CURLE_WRITE_ERROR,
    // so Request returns 0.
    if (!static_cast<CurlByteArray*>(user)->Append(data, bytes)) {
        return 0;
    }
    return bytes;
}

bool LibcurlDecodesZstd() {
    static const bool decodes =
        (Curl().version_info(CURLVERSION_NOW)->features & CURL_VERSION_ZSTD) != 0;
    return decodes;
}

}  // namespace

DWORD CCurlHttpFetcherImpl::Request(const char* url, const char* user, const char* password,
                                    DWORD timeout) {
    return Execute(url, user, password, timeout, nullptr);
}

DWORD CCurlHttpFetcherImpl::Request(const char* url, const char* user, const char* password,
                                    DWORD timeout, BYTE* data, int length) {
    const PostBody post{data, length};
    return Execute(url, user, password, timeout, &post);
}

DWORD CCurlHttpFetcherImpl::Execute(const char* url, const char* user, const char* password,
                                    DWORD timeout, const PostBody* post) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return 0;
    }
    // Read once, so that the transfer and its log record name the same limit.
    const long long bodyLimit = RVUtil_gfnGetBodyLimit();
    std::unique_ptr<CURL, TransferCleanup> transfer;
    try {
        ResetResponse();
        if (user != nullptr && password != nullptr) {
            // On the configured handle, so that later requests keep the credentials.
            const std::string credentials = std::string(user) + ":" + password;
            Curl().easy_setopt(m_pCurl, CURLOPT_USERPWD, credentials.c_str());
        }
        // A negative length, or bytes promised behind a null pointer, would have libcurl
        // measure the data as text or read it from elsewhere: refused without a transfer,
        // reported like a rejected option.
        if (post != nullptr && (post->length < 0 || (post->data == nullptr && post->length > 0))) {
            m_nLastCode = CURLE_BAD_FUNCTION_ARGUMENT;
            return FailTransfer(url, post, bodyLimit);
        }
        transfer.reset(StartTransfer(url, timeout, post, bodyLimit));
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        m_nLastCode = CURLE_OUT_OF_MEMORY;
    }
    if (!transfer) {
        return FailTransfer(url, post, bodyLimit);
    }

    m_nLastCode = PerformOnMulti(m_pMulti, transfer.get());
    if (Curl().easy_getinfo(transfer.get(), CURLINFO_RESPONSE_CODE, &m_nHttpStatus) != CURLE_OK) {
        m_nHttpStatus = 0;
    }
    transfer.reset();
    if (m_nLastCode != CURLE_OK) {
        return FailTransfer(url, post, bodyLimit);
    }
    try {
        http::RecordHeaderLines(m_vecRawHeaders.Text(), m_arrRespHeaders);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        // The lines recorded so far stay; the caller learns of the failure by the result.
        m_nLastCode = CURLE_OUT_OF_MEMORY;
        return FailTransfer(url, post, bodyLimit);
    }
    return 1;
}

CURL* CCurlHttpFetcherImpl::StartTransfer(const char* url, DWORD timeout, const PostBody* post,
                                          long long bodyLimit) {
    if (m_pCurl == nullptr) {
        m_nLastCode = CURLE_BAD_FUNCTION_ARGUMENT;  // never initialised
        return nullptr;
    }
    CURL* transfer = Curl().easy_duphandle(m_pCurl);
    if (transfer == nullptr) {
        m_nLastCode = CURLE_OUT_OF_MEMORY;
        return nullptr;
    }
    // A copy leaves the share object behind; it is named again for every transfer.
    Curl().easy_setopt(transfer, CURLOPT_SHARE, m_pShare);
    Curl().easy_setopt(transfer, CURLOPT_ERRORBUFFER, m_szErrorText);
    Curl().easy_setopt(transfer, CURLOPT_URL, url);
    Curl().easy_setopt(transfer, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout));
    // A time-out while the name is resolved ends the transfer without waiting for the
    // resolver's thread, which otherwise holds the caller until the system resolver answers,
    // however long that is. The thread frees what it holds when it ends.
    Curl().easy_setopt(transfer, CURLOPT_QUICK_EXIT, 1L);
    // A declared length above the limit fails before any of the body is stored; a body
    // without one is stopped by the array when it reaches the limit.
    Curl().easy_setopt(transfer, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(bodyLimit));
    m_vecBody.SetMaxSize(static_cast<std::size_t>(bodyLimit));
    if (post != nullptr) {
        // These belong to this transfer alone: the next GET is a GET again, reads no data
        // of this one and verifies its peer.
        BYTE* fields = post->data != nullptr ? post->data : s_emptyPostBody;
        Curl().easy_setopt(transfer, CURLOPT_POST, 1L);
        Curl().easy_setopt(transfer, CURLOPT_POSTFIELDS, fields);
        Curl().easy_setopt(transfer, CURLOPT_POSTFIELDSIZE, static_cast<long>(post->length));
        Curl().easy_setopt(transfer, CURLOPT_SSL_VERIFYPEER, 0L);
    }
    return transfer;
}

DWORD CCurlHttpFetcherImpl::FailTransfer(const char* url, const PostBody* post,
                                         long long bodyLimit) {
    const char* shownUrl = url != nullptr ? url : "";
    LogChannel()(CPXLog::LVL_ERROR)
        .Write(post != nullptr ? kPostSendError : kSendError, static_cast<int>(m_nLastCode),
               static_cast<int>(m_nHttpStatus), shownUrl);
    if (m_szErrorText[0] != '\0') {
        LogChannel()(CPXLog::LVL_ERROR).Write(kErrorDetail, m_szErrorText);
    }
    if (m_nLastCode == CURLE_FILESIZE_EXCEEDED ||
        (m_nLastCode == CURLE_WRITE_ERROR && m_vecBody.OverMaxSize())) {
        http::LogBodyOverLimit(bodyLimit, shownUrl);
    }
    return 0;
}

std::size_t CCurlHttpFetcherImpl::OnWriteBody(char* data, std::size_t size, std::size_t count,
                                              void* user) {
    return AppendTo(user, data, size, count);
}

std::size_t CCurlHttpFetcherImpl::OnWriteHeader(char* data, std::size_t size, std::size_t count,
                                                void* user) {
    return AppendTo(user, data, size, count);
}

void CCurlHttpFetcherImpl::ResetResponse() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return;
    }
    m_vecBody.Clear();
    m_vecRawHeaders.Clear();
    m_nHttpStatus = 0;
    m_szErrorText[0] = '\0';
}

BYTE* CCurlHttpFetcherImpl::GetResponse() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed || m_vecBody.Size() == 0) {
        return nullptr;
    }
    return m_vecBody.Data();
}

long CCurlHttpFetcherImpl::GetResponseSize() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return 0;
    }
    return static_cast<long>(m_vecBody.Size());
}

int CCurlHttpFetcherImpl::GetResponseHttpStatus() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return 404;
    }
    return static_cast<int>(m_nHttpStatus);
}

CString CCurlHttpFetcherImpl::GetRawResponseHeaders() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return CString();
    }
    return CString(m_vecRawHeaders.Text());
}

void CCurlHttpFetcherImpl::EndRequest() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return;
    }
    m_arrRespHeaders.SetSize(0);
}

BOOL CCurlHttpFetcherImpl::IsEncoding() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return FALSE;
    }
    // With the flag set libcurl has already decoded a gzip body. Once it accepts gzip it
    // also decodes every other encoding it was built with: a libcurl built with zstd has
    // then decoded a zstd body too, and Decompress would find nothing left to decode.
    switch (EncodingOf(FindHeader("Content-Encoding"))) {
        case ContentEncoding::Zstd:
            return (m_bCurlDecodesGzip && LibcurlDecodesZstd()) ? FALSE : TRUE;
        case ContentEncoding::Gzip:
            return m_bCurlDecodesGzip ? FALSE : TRUE;
        case ContentEncoding::None:
            break;
    }
    return FALSE;
}

long CCurlHttpFetcherImpl::Decompress(BYTE** out) {
    // No closed test: a closed fetcher has no Content-Encoding, which decodes to nothing.
    CSingleLock lock(&m_lock, TRUE);
    const ContentEncoding kind = EncodingOf(FindHeader("Content-Encoding"));
    return DecodeBody(kind, GetResponse(), GetResponseSize(), out);
}

}  // namespace RVUtil

// One exchange on the handle: GET and POST, the data callbacks, the header block cut into
// recorded lines, the response accessors and the decoding of the body.
#include <cxxabi.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "curl/CCurlHttpFetcherImpl.h"
#include "pakdec/ContentDecoding.h"
#include "pxlog/PXLog.h"

namespace RVUtil {

namespace {

constexpr const char* kSendError = "[Curl Send Error]ErrorCode=%d, HttpStatus=%d, Url=%s";
constexpr const char* kPostSendError = "[Curl Post Send Error]ErrorCode=%d, HttpStatus=%d, Url=%s";

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
        (curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_ZSTD) != 0;
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
    try {
        ResetResponse();
        if (user != nullptr && password != nullptr) {
            const std::string credentials = std::string(user) + ":" + password;
            curl_easy_setopt(m_pCurl, CURLOPT_USERPWD, credentials.c_str());
        }
        curl_easy_setopt(m_pCurl, CURLOPT_URL, url);
        curl_easy_setopt(m_pCurl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout));
        if (post != nullptr) {
            // A negative length, or bytes promised behind a null pointer, would have libcurl
            // measure the data as text or read it from elsewhere: refused without a
            // transfer, reported like a rejected option.
            if (post->length < 0 || (post->data == nullptr && post->length > 0)) {
                m_nLastCode = CURLE_BAD_FUNCTION_ARGUMENT;
                return FailTransfer(url, post);
            }
            BYTE* fields = post->data != nullptr ? post->data : s_emptyPostBody;
            curl_easy_setopt(m_pCurl, CURLOPT_POST, 1L);
            curl_easy_setopt(m_pCurl, CURLOPT_POSTFIELDS, fields);
            curl_easy_setopt(m_pCurl, CURLOPT_POSTFIELDSIZE, static_cast<long>(post->length));
            curl_easy_setopt(m_pCurl, CURLOPT_SSL_VERIFYPEER, 0L);
            m_bPostOnHandle = TRUE;
        } else if (m_bPostOnHandle) {
            // After a POST the handle still carries the POST method and a pointer to data
            // the caller may have freed since. Switching the method back to GET makes
            // libcurl neither send nor read that data; the pointer itself is left alone.
            curl_easy_setopt(m_pCurl, CURLOPT_HTTPGET, 1L);
            m_bPostOnHandle = FALSE;
        }
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        m_nLastCode = CURLE_OUT_OF_MEMORY;
        return FailTransfer(url, post);
    }

    m_nLastCode = curl_easy_perform(m_pCurl);
    if (m_nLastCode != CURLE_OK) {
        return FailTransfer(url, post);
    }
    try {
        SplitHeaderBlock();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        // The lines recorded so far stay; the caller learns of the failure by the result.
        m_nLastCode = CURLE_OUT_OF_MEMORY;
        return FailTransfer(url, post);
    }
    return 1;
}

DWORD CCurlHttpFetcherImpl::FailTransfer(const char* url, const PostBody* post) {
    long status = 0;
    if (curl_easy_getinfo(m_pCurl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        status = 0;
    }
    LogChannel()(CPXLog::LVL_ERROR)
        .Write(post != nullptr ? kPostSendError : kSendError, static_cast<int>(m_nLastCode),
               static_cast<int>(status), url != nullptr ? url : "");
    return 0;
}

void CCurlHttpFetcherImpl::SplitHeaderBlock() {
    static const char terminator = '\0';
    if (!m_vecRawHeaders.Append(&terminator, 1)) {
        throw std::bad_alloc();
    }
    char* const block = reinterpret_cast<char*>(m_vecRawHeaders.Data());
    const std::size_t length = m_vecRawHeaders.Size();
    // Lines end in CR LF; the search treats the block as text, so a NUL byte inside it ends
    // the walk there.
    char* start = block;
    char* cr = std::strchr(start, '\r');
    while (cr != nullptr) {
        *cr = '\0';
        ParseHeader(start);
        start = cr + 2;
        if (static_cast<std::size_t>(start - block) >= length) {
            break;
        }
        cr = std::strchr(start, '\r');
    }
}

void CCurlHttpFetcherImpl::ParseHeader(char* line) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return;
    }
    // Only "name: value" is recorded; the status line, the empty line and "name:value"
    // are not.
    const char* colon = std::strchr(line, ':');
    if (colon == nullptr || colon == line || colon[1] != ' ') {
        return;
    }
    const CString name(line, static_cast<int>(colon - line));
    const CString value(colon + 2);
    m_arrRespHeaders.Add(name);
    try {
        m_arrRespHeaders.Add(value);
    } catch (...) {
        m_arrRespHeaders.RemoveAt(m_arrRespHeaders.GetUpperBound());
        throw;
    }
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
    // Without a handle libcurl writes nothing and the earlier value stays.
    curl_easy_getinfo(m_pCurl, CURLINFO_RESPONSE_CODE, &m_nHttpStatus);
    return static_cast<int>(m_nHttpStatus);
}

CString CCurlHttpFetcherImpl::GetRawResponseHeaders() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return CString();
    }
    // After a completed transfer the block was cut into lines in place (each CR became a
    // terminator, and one terminator was appended); header bytes never hold a zero byte
    // of their own, so the block as received comes back by undoing just that.
    std::string block(reinterpret_cast<const char*>(m_vecRawHeaders.Data()),
                      m_vecRawHeaders.Size());
    if (!block.empty() && block.back() == '\0') {
        block.pop_back();
    }
    std::replace(block.begin(), block.end(), '\0', '\r');
    return CString(std::move(block));
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

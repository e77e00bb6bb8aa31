// What a transfer receives: the body and header lines libcurl hands over, and the response
// as the read functions see it.
#include <string_view>

#include "curl/CCurlHttpFetcherImpl.h"

namespace RVUtil::curl {

// A growth that cannot be made must not travel through libcurl: the store reports it
// without throwing, and refusing the bytes ends the transfer with CURLE_WRITE_ERROR, so
// Request returns 0.
std::size_t CCurlHttpFetcherImpl::OnWriteBody(char* data, std::size_t size, std::size_t count,
                                              void* user) {
    if (user == nullptr) {
        return 0;  // CURLE_WRITE_ERROR
    }
    const std::size_t bytes = size * count;
    return static_cast<CurlBodyReceiver*>(user)->OnData(data, bytes) ? bytes : 0;
}

std::size_t CCurlHttpFetcherImpl::OnWriteHeader(char* data, std::size_t size, std::size_t count,
                                                void* user) {
    if (user == nullptr) {
        return 0;  // CURLE_WRITE_ERROR
    }
    const std::size_t bytes = size * count;
    auto* impl = static_cast<CCurlHttpFetcherImpl*>(user);
    if (!impl->m_headReader.OnLine(std::string_view(data, bytes))) {
        return 0;
    }
    // A streaming fetch's head receiver is told as soon as the final head is whole, not at
    // the first body byte, which may come much later or never.
    return !impl->m_headReader.Complete() || impl->m_bodyReceiver.OnHeadComplete() ? bytes : 0;
}

void CCurlHttpFetcherImpl::ResetResponse() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return;
    }
    m_body.Clear();
    m_headReader.Start();
    m_httpStatus = 0;
    m_errorText[0] = '\0';
    m_failure = Failure();
    m_delivery.reset();
    m_streamUndecodable = false;
    m_decodeFailure = Failure();
    m_requestHead.clear();
}

BYTE* CCurlHttpFetcherImpl::GetResponse() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed || m_body.Size() == 0) {
        return nullptr;
    }
    return m_body.Data();
}

BYTE* CCurlHttpFetcherImpl::TakeBody() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return nullptr;
    }
    return m_body.TakeArray();
}

long CCurlHttpFetcherImpl::GetResponseSize() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return 0;
    }
    return static_cast<long>(m_body.Size());
}

int CCurlHttpFetcherImpl::GetResponseHttpStatus() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return 404;
    }
    return static_cast<int>(m_httpStatus);
}

CString CCurlHttpFetcherImpl::GetRawResponseHeaders() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return CString();
    }
    return CString(m_rawHeaders.Text());
}

std::string CCurlHttpFetcherImpl::RawHead(http::HeadIndex& index) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        index.Clear();
        return std::string();
    }
    index = m_headIndex;
    return std::string(m_rawHeaders.Text());
}

void CCurlHttpFetcherImpl::EndRequest() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return;
    }
    m_responseHeaders.clear();
    m_notes.Clear();
}

}  // namespace RVUtil::curl

#include "RVUtil/CCurlHttpFetcher.h"

#include <memory>

#include "curl/CCurlHttpFetcherImpl.h"
#include "http/HeaderPairs.h"

namespace RVUtil {

namespace {

// An implementation is always finished before it is deleted, so its handle goes with it.
struct FinishAndDelete {
    void operator()(curl::CCurlHttpFetcherImpl* impl) const {
        impl->Fini();
        delete impl;
    }
};

}  // namespace

CCurlHttpFetcher::CCurlHttpFetcher() : m_pImpl(new curl::CCurlHttpFetcherImpl) {}

CCurlHttpFetcher::~CCurlHttpFetcher() {
    FinishAndDelete()(m_pImpl);
}

// A member-wise copy would leave two facades owning one implementation. Instead the
// assigned fetcher is rebuilt: a new implementation is made from other's request headers
// (initialised first when other is, so that they reach the handle), and only once it is
// complete does the old one get finished and deleted. Each implementation keeps exactly one
// owner; if building the new one fails, this fetcher is left as it was.
CCurlHttpFetcher& CCurlHttpFetcher::operator=(const CCurlHttpFetcher& other) {
    if (this == &other || m_pImpl == other.m_pImpl) {
        return *this;
    }
    const http::HeaderList headers = other.m_pImpl->RequestHeaders();
    std::unique_ptr<curl::CCurlHttpFetcherImpl, FinishAndDelete> fresh(
        new curl::CCurlHttpFetcherImpl);
    if (other.m_pImpl->IsInit()) {
        fresh->Init();
    }
    for (const http::HeaderPair& pair : headers) {
        fresh->AddHeader(pair.name.c_str(), pair.value.c_str());
    }
    FinishAndDelete()(m_pImpl);
    m_pImpl = fresh.release();
    return *this;
}

BOOL CCurlHttpFetcher::Init() {
    return m_pImpl->Init();
}
void CCurlHttpFetcher::Fini() {
    m_pImpl->Fini();
}
BOOL CCurlHttpFetcher::IsInit() {
    return m_pImpl->IsInit();
}
void CCurlHttpFetcher::SetProxy(const char* host, WORD port) {
    m_pImpl->SetProxy(host, port);
}
void CCurlHttpFetcher::SetNoProxy(const char* hosts) {
    m_pImpl->SetNoProxy(hosts);
}
void CCurlHttpFetcher::AddHeader(const char* name, const char* value) {
    m_pImpl->AddHeader(name, value);
}
void CCurlHttpFetcher::RemoveHeader(const char* name) {
    m_pImpl->RemoveHeader(name);
}
CString CCurlHttpFetcher::FindHeader(const CString& name) {
    return m_pImpl->FindHeader(name);
}
DWORD CCurlHttpFetcher::Request(const char* url, const char* user, const char* password,
                                DWORD timeout) {
    return m_pImpl->Request(url, user, password, timeout);
}
DWORD CCurlHttpFetcher::Request(const char* url, const char* user, const char* password,
                                DWORD timeout, BYTE* data, int length) {
    return m_pImpl->Request(url, user, password, timeout, data, length);
}
BYTE* CCurlHttpFetcher::GetResponse() {
    return m_pImpl->GetResponse();
}
long CCurlHttpFetcher::GetResponseSize() {
    return m_pImpl->GetResponseSize();
}
int CCurlHttpFetcher::GetResponseHttpStatus() {
    return m_pImpl->GetResponseHttpStatus();
}
CString CCurlHttpFetcher::GetRawResponseHeaders() {
    return m_pImpl->GetRawResponseHeaders();
}

void CCurlHttpFetcher::EndRequest() {
    m_pImpl->EndRequest();
}
BOOL CCurlHttpFetcher::IsEncoding() {
    return m_pImpl->IsEncoding();
}
long CCurlHttpFetcher::Decompress(BYTE** out) {
    return m_pImpl->Decompress(out);
}

}  // namespace RVUtil

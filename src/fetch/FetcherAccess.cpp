#include "fetch/FetcherAccess.h"

#include "CRVHttpFetcher/FetcherInternals.h"
#include "CRVHttpFetcher/FetcherLimits.h"
#include "curl/CCurlHttpFetcherImpl.h"

namespace RVUtil::fetch {

BYTE* FetcherAccess::TakeBody(CCurlHttpFetcher& fetcher) {
    return fetcher.m_pImpl->TakeBody();
}

BYTE* FetcherAccess::TakeBody(CRVHttpFetcher& fetcher) {
    buffers::BodyStore& body = fetcher.m_pInternals->body;
    BYTE* taken = body.TakeArray();
    // A fetcher whose block went with the body gets a fresh one, as Init gives it, so that
    // it stays ready for the next request.
    if (taken != nullptr && body.Capacity() == 0) {
        (void)body.Reserve(inet::kInitialBufferSize);
    }
    fetcher.ShowBuffer();
    return taken;
}

void FetcherAccess::SetCall(CCurlHttpFetcher& fetcher, const http::CallSettings* call) {
    fetcher.m_pImpl->SetCall(call);
}

void FetcherAccess::SetCall(CRVHttpFetcher& fetcher, const http::CallSettings* call) {
    fetcher.m_pInternals->call = call;
}

Failure FetcherAccess::LastFailure(CCurlHttpFetcher& fetcher) {
    return fetcher.m_pImpl->LastFailure();
}

Failure FetcherAccess::LastFailure(CRVHttpFetcher& fetcher) {
    return fetcher.m_pInternals->failure;
}

std::string FetcherAccess::RequestHead(CCurlHttpFetcher& fetcher) {
    return fetcher.m_pImpl->RequestHead();
}

std::string FetcherAccess::RequestHead(CRVHttpFetcher& fetcher) {
    return fetcher.m_pInternals->requestHead;
}

std::string FetcherAccess::ResponseHead(CCurlHttpFetcher& fetcher, http::HeadIndex& index) {
    return fetcher.m_pImpl->RawHead(index);
}

std::string FetcherAccess::ResponseHead(CRVHttpFetcher& fetcher, http::HeadIndex& index) {
    index = fetcher.m_pInternals->headIndex;
    return fetcher.m_strRawHeaders.str();
}

CString FetcherAccess::NotedValue(CCurlHttpFetcher& fetcher, decoding::ResponseNotes::Noted noted) {
    return fetcher.m_pImpl->NotedValue(noted);
}

CString FetcherAccess::NotedValue(CRVHttpFetcher& fetcher, decoding::ResponseNotes::Noted noted) {
    const CStringArray& pairs = fetcher.m_arrRespHeaders;
    const auto at = fetcher.m_pInternals->NotesOn(pairs).At(noted);
    return at.has_value() ? pairs[2 * static_cast<INT_PTR>(*at) + 1] : CString();
}

}  // namespace RVUtil::fetch

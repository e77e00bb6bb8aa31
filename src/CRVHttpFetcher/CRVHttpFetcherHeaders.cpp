#include "CRVHttpFetcher/FetcherInternals.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "http/HeaderPairs.h"
#include "http/PairArray.h"
#include "log/PXLog.h"

namespace RVUtil {

void CRVHttpFetcher::AddHeader(const char* name, const char* value) {
    if (const auto refused = http::RefusedHeaderRecord(name, value)) {
        LogChannel()(log::CPXLog::LVL_WARNING).Write("%s", refused->c_str());
        return;
    }
    // The list is the host's to read and change (a protected member); the rule works on
    // its copy, which replaces it whole once the pair is stored.
    http::HeaderList pairs = http::HeaderListOf(m_arrReqHeaders);
    http::SetRequestPair(pairs, name, value != nullptr ? value : "");
    m_arrReqHeaders = http::PairArrayOf(pairs);
}

void CRVHttpFetcher::RemoveHeader(const char* name) {
    http::HeaderList pairs = http::HeaderListOf(m_arrReqHeaders);
    if (http::RemoveRequestPair(pairs, name != nullptr ? name : "")) {
        m_arrReqHeaders = http::PairArrayOf(pairs);
    }
}

CString CRVHttpFetcher::FindHeader(const CString& name) {
    return http::FindResponseValue(m_arrRespHeaders, name);
}

void CRVHttpFetcher::EndRequest() {
    m_pInternals->body.Clear();
    ShowBuffer();
    m_nHttpStatus = 0;
    m_dwReadError = 0;
    m_arrRespHeaders.RemoveAll();
    m_pInternals->notes.Clear();
}

int CRVHttpFetcher::IsResponseComplete() {
    return m_dwReadError == 0 ? 1 : 0;
}

CString CRVHttpFetcher::GetRawResponseHeaders() {
    return m_strRawHeaders;
}

BYTE* CRVHttpFetcher::GetResponse() {
    return m_pBuffer;
}

int CRVHttpFetcher::GetResponseHttpStatus() {
    return m_nHttpStatus;
}

long CRVHttpFetcher::GetResponseSize() {
    return m_nSize;
}

void CRVHttpFetcher::SetReq(DWORD value) {
    m_dwReqTime = value;
}

DWORD CRVHttpFetcher::ReqTime() {
    return m_dwReqTime;
}

void CRVHttpFetcher::SetZip(DWORD value) {
    m_dwZipTime = value;
}

DWORD CRVHttpFetcher::ZipTime() {
    return m_dwZipTime;
}

void CRVHttpFetcher::ClearTime() {
    m_dwReqTime = 0;
    m_dwZipTime = 0;
}

}  // namespace RVUtil

#include "RVUtil/CRVHttpFetcher.h"

namespace RVUtil {
namespace {

// Index of the first name equal to name (case-sensitive) among the even entries, or -1.
INT_PTR findRequestHeader(const CStringArray& list, const CString& name) {
    for (INT_PTR i = 0; i + 1 < list.GetSize(); i += 2) {
        if (list[i] == name) {
            return i;
        }
    }
    return -1;
}

}  // namespace

void CRVHttpFetcher::AddHeader(const char* name, const char* value) {
    const CString key(name);
    if (key.IsEmpty()) {
        return;
    }
    const INT_PTR at = findRequestHeader(m_arrReqHeaders, key);
    if (at >= 0) {
        m_arrReqHeaders.SetAt(at + 1, CString(value));
        return;
    }
    m_arrReqHeaders.Add(key);
    m_arrReqHeaders.Add(CString(value));
}

void CRVHttpFetcher::RemoveHeader(const char* name) {
    const INT_PTR at = findRequestHeader(m_arrReqHeaders, CString(name));
    if (at >= 0) {
        m_arrReqHeaders.RemoveAt(at, 2);
    }
}

CString CRVHttpFetcher::FindHeader(const CString& name) {
    for (INT_PTR i = 0; i + 1 < m_arrRespHeaders.GetSize(); i += 2) {
        if (m_arrRespHeaders[i].CompareNoCase(name) == 0) {
            return m_arrRespHeaders[i + 1];
        }
    }
    return CString();
}

void CRVHttpFetcher::EndRequest() {
    m_nSize = 0;
    m_nHttpStatus = 0;
    m_arrRespHeaders.RemoveAll();
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

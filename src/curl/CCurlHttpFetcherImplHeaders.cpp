// Request header pairs and their libcurl list, and the lookup of response headers.
#include "curl/CCurlHttpFetcherImpl.h"

#include <utility>

namespace RVUtil {

namespace {

bool IsAcceptEncoding(const CString& name) {
    return name.CompareNoCase("ACCEPT-ENCODING") == 0;
}

// One libcurl line: name and value joined by a bare colon. An empty value thus reads
// "Name:", which tells libcurl not to send that header at all, not even its own.
CString HeaderLine(const CString& name, const CString& value) {
    return name + ":" + value;
}

}  // namespace

// Names and values are passed on as given: a line break or colon in them is not refused.
// A memory failure raises an exception and leaves the pairs and the list as they were.
void CCurlHttpFetcherImpl::AddHeader(const char* name, const char* value) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return;
    }
    const CString strName(name);
    const CString strValue(value);
    if (strName.IsEmpty()) {
        return;
    }
    if (IsAcceptEncoding(strName)) {
        CString lowered = strValue;
        if (lowered.MakeLower().Find("gzip") >= 0) {
            curl_easy_setopt(m_pCurl, CURLOPT_ACCEPT_ENCODING, "gzip");
            m_bCurlDecodesGzip = TRUE;
        }
    }

    INT_PTR found = -1;
    for (INT_PTR i = 0; i + 1 < m_arrReqHeaders.GetSize(); i += 2) {
        if (m_arrReqHeaders[i] == strName) {
            found = i;
            break;
        }
    }
    if (found >= 0) {
        // Swapped in and, should the list not build, swapped back: nothing here can fail
        // half-way.
        CString value = strValue;
        std::swap(m_arrReqHeaders.ElementAt(found + 1), value);
        bool rebuilt = false;
        try {
            rebuilt = RebuildHeaderList();
        } catch (...) {
            std::swap(m_arrReqHeaders.ElementAt(found + 1), value);
            throw;
        }
        if (!rebuilt) {
            std::swap(m_arrReqHeaders.ElementAt(found + 1), value);
            return;
        }
    } else {
        const CString line = HeaderLine(strName, strValue);
        m_arrReqHeaders.Add(strName);
        try {
            m_arrReqHeaders.Add(strValue);
        } catch (...) {
            m_arrReqHeaders.RemoveAt(m_arrReqHeaders.GetUpperBound());
            throw;
        }
        curl_slist* extended = curl_slist_append(m_pHeaderList, line);
        if (extended == nullptr) {
            // The pair stays stored; the list misses it until the next rebuild.
            return;
        }
        m_pHeaderList = extended;
    }
    curl_easy_setopt(m_pCurl, CURLOPT_HTTPHEADER, m_pHeaderList);
}

void CCurlHttpFetcherImpl::RemoveHeader(const char* name) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return;
    }
    const CString strName(name);
    // Letter case is ignored here, so the setting goes even when the stored pair (matched
    // with case below) stays.
    if (IsAcceptEncoding(strName)) {
        curl_easy_setopt(m_pCurl, CURLOPT_ACCEPT_ENCODING, static_cast<const char*>(nullptr));
        m_bCurlDecodesGzip = FALSE;
    }
    for (INT_PTR i = 0; i + 1 < m_arrReqHeaders.GetSize(); i += 2) {
        if (m_arrReqHeaders[i] == strName) {
            m_arrReqHeaders.RemoveAt(i, 2);
            break;
        }
    }
    RebuildHeaderList();
    curl_easy_setopt(m_pCurl, CURLOPT_HTTPHEADER, m_pHeaderList);
}

CString CCurlHttpFetcherImpl::FindHeader(const CString& name) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_bClosed) {
        return CString();
    }
    for (INT_PTR i = 0; i + 1 < m_arrRespHeaders.GetSize(); i += 2) {
        if (m_arrRespHeaders[i].CompareNoCase(name) == 0) {
            return m_arrRespHeaders[i + 1];
        }
    }
    return CString();
}

CStringArray CCurlHttpFetcherImpl::RequestHeaders() {
    CSingleLock lock(&m_lock, TRUE);
    return m_arrReqHeaders;
}

bool CCurlHttpFetcherImpl::RebuildHeaderList() {
    curl_slist* rebuilt = nullptr;
    try {
        for (INT_PTR i = 0; i + 1 < m_arrReqHeaders.GetSize(); i += 2) {
            curl_slist* extended =
                curl_slist_append(rebuilt, HeaderLine(m_arrReqHeaders[i], m_arrReqHeaders[i + 1]));
            if (extended == nullptr) {
                curl_slist_free_all(rebuilt);
                return false;
            }
            rebuilt = extended;
        }
    } catch (...) {
        curl_slist_free_all(rebuilt);
        throw;
    }
    if (m_pHeaderList != nullptr) {
        curl_slist_free_all(m_pHeaderList);
    }
    m_pHeaderList = rebuilt;
    return true;
}

}  // namespace RVUtil

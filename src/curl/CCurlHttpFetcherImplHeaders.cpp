// Request header pairs and their libcurl list, and the lookup of response headers.
#include <string>
#include <utility>

#include "curl/CCurlHttpFetcherImpl.h"
#include "curl/CurlLibrary.h"
#include "http/HeaderPairs.h"
#include "log/PXLog.h"

namespace RVUtil::curl {

namespace {

bool IsAcceptEncoding(const CString& name) {
    return name.CompareNoCase("ACCEPT-ENCODING") == 0;
}

// One libcurl line: name and value joined by a bare colon. An empty value thus reads
// "Name:", which tells libcurl not to send that header at all, not even its own.
std::string HeaderLine(const std::string& name, const std::string& value) {
    return name + ":" + value;
}

}  // namespace

// A name or value that could end its line early and start another header (or request) is
// refused with a WARNING record, and nothing is stored. A memory failure raises an
// exception and leaves the pairs, the list and the gzip setting as they were.
void CCurlHttpFetcherImpl::AddHeader(const char* name, const char* value) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return;
    }
    if (const auto refused = http::RefusedHeaderRecord(name, value)) {
        LogChannel()(log::CPXLog::LVL_WARNING).Write("%s", refused->c_str());
        return;
    }
    const CString strName(name);
    const CString strValue(value);
    http::HeaderList pairs = m_requestHeaders;
    http::SetRequestPair(pairs, strName.str(), strValue.str());
    if (!InstallRequestHeaders(std::move(pairs))) {
        return;
    }
    if (IsAcceptEncoding(strName)) {
        CString lowered = strValue;
        if (lowered.MakeLower().Find("gzip") >= 0) {
            Curl().easy_setopt(m_curl, CURLOPT_ACCEPT_ENCODING, "gzip");
            m_curlDecodesGzip = TRUE;
        }
    }
}

void CCurlHttpFetcherImpl::RemoveHeader(const char* name) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return;
    }
    const CString strName(name);
    // Letter case is ignored here, so the setting goes even when the stored pair (matched
    // with case below) stays.
    if (IsAcceptEncoding(strName)) {
        Curl().easy_setopt(m_curl, CURLOPT_ACCEPT_ENCODING, static_cast<const char*>(nullptr));
        m_curlDecodesGzip = FALSE;
    }
    http::HeaderList pairs = m_requestHeaders;
    http::RemoveRequestPair(pairs, strName.str());
    InstallRequestHeaders(std::move(pairs));
}

CString CCurlHttpFetcherImpl::FindHeader(const CString& name) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return CString();
    }
    return CString(http::FindResponseValue(m_responseHeaders, name.str()));
}

http::HeaderList CCurlHttpFetcherImpl::RequestHeaders() {
    CSingleLock lock(&m_lock, TRUE);
    return m_requestHeaders;
}

bool CCurlHttpFetcherImpl::BuildHeaderList(const http::HeaderList& pairs,
                                           const std::vector<bool>& fromFetch, curl_slist** list) {
    curl_slist* built = nullptr;
    bool whole = true;
    try {
        for (std::size_t at = 0; whole && at < pairs.size(); ++at) {
            const auto& [name, value] = pairs[at];
            const bool fetchOwn = at < fromFetch.size() && fromFetch[at];
            const std::string line = !fetchOwn       ? HeaderLine(name, value)
                                     : value.empty() ? name + ";"
                                                     : name + ": " + value;
            curl_slist* extended = Curl().slist_append(built, line.c_str());
            whole = extended != nullptr;
            if (whole) {
                built = extended;
            }
        }
        if (!whole) {
            Curl().slist_free_all(built);
            return false;
        }
    } catch (...) {
        Curl().slist_free_all(built);
        throw;
    }
    *list = built;
    return true;
}

bool CCurlHttpFetcherImpl::InstallRequestHeaders(http::HeaderList pairs) {
    curl_slist* built = nullptr;
    if (!BuildHeaderList(pairs, {}, &built)) {
        return false;
    }
    m_requestHeaders = std::move(pairs);  // moving the items' vector cannot fail
    if (m_headerList != nullptr) {
        Curl().slist_free_all(m_headerList);
    }
    m_headerList = built;
    // Null when no pair is left: libcurl then sends no caller-set headers.
    Curl().easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headerList);
    return true;
}

}  // namespace RVUtil::curl

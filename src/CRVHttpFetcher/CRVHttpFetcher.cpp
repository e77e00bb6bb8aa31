#include "RVUtil/CRVHttpFetcher.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "CRVHttpFetcher/FetcherInternals.h"
#include "CRVHttpFetcher/FetcherLimits.h"
#include "log/PXLog.h"
#include "transport/Session.h"
#include "transport/UrlCracker.h"

namespace RVUtil {
namespace {

// A fixed text, like the fetcher's other records.
constexpr const char* kInitError = "[Http Init Error]ErrorCode=%d";

transport::Session* OpenSession(transport::InetError* error) {
    return transport::Session::Open(error).release();
}

}  // namespace

CRVHttpFetcher::CRVHttpFetcher()
    : m_hSession(nullptr),
      m_pBuffer(nullptr),
      m_nCapacity(0),
      m_nSize(0),
      m_nHttpStatus(0),
      m_dwZipTime(0),
      m_dwReqTime(0),
      m_dwReadError(0),
      m_pInternals(new Internals) {}

CRVHttpFetcher::~CRVHttpFetcher() {
    Fini();
    delete m_pInternals;
}

void CRVHttpFetcher::ShowBuffer() {
    const buffers::BodyStore& body = m_pInternals->body;
    m_pBuffer = body.Data();
    m_nCapacity = static_cast<std::int32_t>(body.Capacity());
    m_nSize = static_cast<std::int32_t>(body.Size());
}

int CRVHttpFetcher::Init() {
    // A second Init without Fini in between would strand the first session and buffer;
    // they are released here instead, so that nothing leaks.
    CloseSession();
    m_pInternals->body.Release();
    ShowBuffer();

    transport::InetError error = transport::kInetOk;
    m_hSession = OpenSession(&error);
    if (m_hSession == nullptr) {
        LogChannel()(log::CPXLog::LVL_ERROR).Write(kInitError, static_cast<int>(error));
        return 0;
    }
    const bool buffered = m_pInternals->body.Reserve(inet::kInitialBufferSize);
    ShowBuffer();
    return buffered ? 1 : 0;  // without a buffer the session stays open; Fini closes it
}

int CRVHttpFetcher::InitHelper() {
    return 1;
}

int CRVHttpFetcher::IsInit() {
    return (m_hSession != nullptr && m_pBuffer != nullptr && m_nCapacity >= 1) ? 1 : 0;
}

void CRVHttpFetcher::Fini() {
    CloseSession();
    m_pInternals->body.Release();
    ShowBuffer();
}

void CRVHttpFetcher::FiniHelper() {
    CloseSession();
}

int CRVHttpFetcher::IsSessionReady(int create) {
    if (m_hSession != nullptr) {
        return 1;
    }
    if (create == 0) {
        return 0;
    }
    transport::InetError error = transport::kInetOk;
    m_hSession = OpenSession(&error);
    return m_hSession != nullptr ? 1 : 0;
}

int CRVHttpFetcher::IsDataBufferReady() {
    return (m_pBuffer != nullptr && m_nCapacity >= 1) ? 1 : 0;
}

void CRVHttpFetcher::CloseSession() {
    if (m_hSession != nullptr) {
        delete m_hSession;
        m_hSession = nullptr;
    }
}

CRVHttpFetcher::Protocol CRVHttpFetcher::CrackUrl(char* url, char* hostName, char* urlPath,
                                                  unsigned short* port) {
    if (url == nullptr) {
        return PROTOCOL_UNKNOWN;
    }
    std::string canonical;
    if (!transport::CanonicalizeUrl(url, &canonical) ||
        canonical.size() + 1 > inet::kUrlBufferSize) {
        return PROTOCOL_UNKNOWN;
    }
    std::memcpy(url, canonical.c_str(), canonical.size() + 1);
    transport::UrlParts parts;
    if (!transport::CrackUrl(canonical, &parts) || parts.host.size() + 1 > inet::kHostNameSize ||
        parts.path.size() + 1 > inet::kUrlPathSize) {
        return PROTOCOL_UNKNOWN;
    }
    Protocol protocol = PROTOCOL_UNKNOWN;
    switch (parts.scheme) {
        case transport::UrlScheme::Ftp:
            protocol = PROTOCOL_FTP;
            break;
        case transport::UrlScheme::Http:
        case transport::UrlScheme::Https:
            protocol = PROTOCOL_HTTP;
            break;
        case transport::UrlScheme::Other:
            return PROTOCOL_UNKNOWN;
    }
    if (hostName != nullptr) {
        std::memcpy(hostName, parts.host.c_str(), parts.host.size() + 1);
    }
    if (urlPath != nullptr) {
        std::memcpy(urlPath, parts.path.c_str(), parts.path.size() + 1);
    }
    if (port != nullptr) {
        *port = parts.port;
    }
    return protocol;
}

}  // namespace RVUtil

#include "CRVHttpFetcher/RequestSetup.h"

#include <cstring>

#include "log/PXLog.h"
#include "platform/Ascii.h"
#include "transport/InetRequest.h"

namespace RVUtil {
namespace {

// The record of a refused URL: why, its length, and its start (a long one would flood the
// log; the log escapes control characters, so the record stays one line).
constexpr const char* kUrlRefused = "[Http Url Error]URL refused (%s), Length=%zu, Url=%.256s";

const char* refusalOf(const std::string& canonical, const transport::UrlParts& parts) {
    for (const char c : canonical) {
        if (ascii::IsControl(c)) {
            return "control character";
        }
    }
    for (const char c : parts.host) {
        if (c == ' ') {
            return "blank in the host name";
        }
    }
    return nullptr;
}

}  // namespace

bool CrackRequestUrl(const char* url, RequestUrl* out) {
    if (url == nullptr) {
        return false;
    }
    const std::size_t length = strnlen(url, kMaxUrlLength + 1);
    if (length > kMaxUrlLength) {
        LogChannel()(CPXLog::LVL_ERROR)
            .Write(kUrlRefused, "longer than 64 KiB", std::strlen(url), url);
        return false;
    }
    std::string canonical;
    transport::UrlParts parts;
    if (!transport::CanonicalizeUrl(std::string_view(url, length), &canonical) ||
        !transport::CrackUrl(canonical, &parts) ||
        (parts.scheme != transport::UrlScheme::Http &&
         parts.scheme != transport::UrlScheme::Https)) {
        return false;
    }
    if (const char* refusal = refusalOf(canonical, parts); refusal != nullptr) {
        LogChannel()(CPXLog::LVL_ERROR).Write(kUrlRefused, refusal, length, url);
        return false;
    }
    out->scheme = parts.scheme;
    out->host = std::move(parts.host);
    out->port = parts.port;
    out->path = std::move(parts.path);
    return true;
}

DWORD RequestFlagsFor(const RequestUrl& url) {
    constexpr DWORD kPlain = transport::kFlagReload | transport::kFlagNoCacheWrite |
                             transport::kFlagKeepConnection | transport::kFlagNoUi;
    constexpr unsigned short kSecurePort = 443;
    const bool secure = url.scheme == transport::UrlScheme::Https || url.port == kSecurePort;
    return secure ? (kPlain | transport::kFlagSecure) : kPlain;
}

void AddRequestHeaderLines(const CStringArray& headers, transport::Request& request) {
    for (INT_PTR i = 0; i + 1 < headers.GetSize(); i += 2) {
        CString line;
        line.Format("%s: %s", headers[i].GetString(), headers[i + 1].GetString());
        request.AddHeaderLine(line.str());
    }
}

}  // namespace RVUtil

#include "transport/UrlCracker.h"

#include <algorithm>
#include <vector>

#include "platform/Ascii.h"

namespace RVUtil::transport {
namespace {

// Length of the scheme name at the start of url, or 0 when url does not start with one.
std::size_t SchemeLength(std::string_view url) {
    if (url.empty() || !ascii::IsAlpha(url[0])) {
        return 0;
    }
    std::size_t i = 1;
    while (i < url.size() &&
           (ascii::IsAlnum(url[i]) || url[i] == '+' || url[i] == '-' || url[i] == '.')) {
        ++i;
    }
    return (i < url.size() && url[i] == ':') ? i : 0;
}

// Resolves "." and ".." segments of an absolute path, the way a browser does: ".." above
// the root stays at the root, and a trailing "." or ".." leaves the path ending in '/'.
std::string RemoveDotSegments(std::string_view path) {
    std::vector<std::string_view> kept;
    std::size_t start = 1;  // past the leading '/'
    bool endsInDirectory = false;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view segment = path.substr(start, end - start);
        const bool last = end == path.size();
        if (segment == ".") {
            endsInDirectory = last;
        } else if (segment == "..") {
            if (!kept.empty()) {
                kept.pop_back();
            }
            endsInDirectory = last;
        } else {
            kept.push_back(segment);
            endsInDirectory = false;
        }
        start = end + 1;
    }
    std::string out;
    out.reserve(path.size());
    for (std::string_view segment : kept) {
        out += '/';
        out += segment;
    }
    if (out.empty() || endsInDirectory) {
        out += '/';
    }
    return out;
}

// The scheme a URL names and, into *defaultPort, the port it goes to unless it names one.
UrlScheme SchemeOf(std::string_view scheme, std::uint16_t* defaultPort) {
    if (scheme == "http") {
        *defaultPort = 80;
        return UrlScheme::Http;
    }
    if (scheme == "https") {
        *defaultPort = 443;
        return UrlScheme::Https;
    }
    if (scheme == "ftp") {
        *defaultPort = 21;
        return UrlScheme::Ftp;
    }
    return UrlScheme::Other;
}

// Reads what follows the host in an authority: nothing, a colon alone (both leave *port as
// it is) or a colon and a port from 1 to 65535. False for anything else.
bool ReadPort(std::string_view text, std::uint16_t* port) {
    if (text.empty()) {
        return true;
    }
    if (text[0] != ':') {
        return false;
    }
    const std::string_view digits = text.substr(1);
    if (digits.empty()) {
        return true;
    }
    unsigned long value = 0;
    for (char c : digits) {
        if (!ascii::IsDigit(c) || value > 65535) {
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return false;
    }
    *port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

bool CanonicalizeUrl(std::string_view url, std::string* canonical) {
    url = ascii::Trim(url, ascii::IsBlankOrLineEnd);
    const std::size_t schemeEnd = SchemeLength(url);
    if (schemeEnd == 0) {
        return false;
    }
    std::string out;
    out.reserve(url.size() + 1);
    for (std::size_t i = 0; i < schemeEnd; ++i) {
        out += ascii::ToLower(url[i]);
    }
    std::string_view rest = url.substr(schemeEnd);  // from the ':'
    if (rest.substr(0, 3) != "://") {
        out += rest;  // an opaque URL such as mailto: has no path to resolve
        *canonical = std::move(out);
        return true;
    }
    const std::size_t authorityEnd = rest.find_first_of("/?#", 3);
    out += rest.substr(0, authorityEnd);
    if (authorityEnd == std::string_view::npos) {
        out += '/';
        *canonical = std::move(out);
        return true;
    }
    rest.remove_prefix(authorityEnd);
    const std::size_t pathEnd = rest.find_first_of("?#");
    const std::string_view path = rest.substr(0, pathEnd);
    out += path.empty() ? std::string("/") : RemoveDotSegments(path);
    if (pathEnd != std::string_view::npos) {
        out += rest.substr(pathEnd);
    }
    *canonical = std::move(out);
    return true;
}

bool CrackUrl(std::string_view canonical, UrlParts* parts) {
    const std::size_t schemeEnd = SchemeLength(canonical);
    if (schemeEnd == 0) {
        return false;
    }
    UrlParts out;
    out.scheme = SchemeOf(canonical.substr(0, schemeEnd), &out.port);
    if (out.scheme == UrlScheme::Other) {
        *parts = UrlParts{};
        return true;
    }
    std::string_view rest = canonical.substr(schemeEnd);
    if (rest.substr(0, 3) != "://") {
        return false;
    }
    rest.remove_prefix(3);
    const std::size_t authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    out.path = authorityEnd == std::string_view::npos ? std::string("/")
                                                      : std::string(rest.substr(authorityEnd));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);  // user info is not a part anyone asks for
    }
    std::size_t hostEnd = 0;
    if (!authority.empty() && authority[0] == '[') {
        hostEnd = authority.find(']');
        if (hostEnd == std::string_view::npos) {
            return false;
        }
        ++hostEnd;
    } else {
        hostEnd = std::min(authority.find(':'), authority.size());
    }
    out.host = std::string(authority.substr(0, hostEnd));
    if (!ReadPort(authority.substr(hostEnd), &out.port)) {
        return false;
    }
    *parts = std::move(out);
    return true;
}

}  // namespace RVUtil::transport

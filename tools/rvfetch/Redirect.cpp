#include "Redirect.h"

#include <optional>

#include "platform/Ascii.h"

namespace rvfetch {

namespace ascii = RVUtil::ascii;

namespace {

// A URL reference cut into its parts; the fragment is dropped, since it never reaches the
// server.
struct Reference {
    std::string scheme;  // lower case; empty for a relative reference
    bool hasAuthority = false;
    std::string authority;
    std::string path;
    bool hasQuery = false;
    std::string query;
};

bool IsSchemeText(std::string_view text) {
    if (text.empty() ||
        !((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'))) {
        return false;
    }
    for (const char c : text) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !ascii::IsDigit(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

std::optional<Reference> Split(std::string_view text) {
    for (const char c : text) {
        if (ascii::IsControl(c) || c == ' ') {
            return std::nullopt;
        }
    }
    Reference ref;
    text = text.substr(0, text.find('#'));
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && colon < text.find_first_of("/?")) {
        if (!IsSchemeText(text.substr(0, colon))) {
            return std::nullopt;
        }
        for (const char c : text.substr(0, colon)) {
            ref.scheme += ascii::ToLower(c);
        }
        text.remove_prefix(colon + 1);
    }
    if (text.substr(0, 2) == "//") {
        text.remove_prefix(2);
        const std::size_t end = text.find_first_of("/?");
        ref.hasAuthority = true;
        ref.authority = std::string(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    }
    const std::size_t question = text.find('?');
    ref.path = std::string(text.substr(0, question));
    if (question != std::string_view::npos) {
        ref.hasQuery = true;
        ref.query = std::string(text.substr(question + 1));
    }
    return ref;
}

struct Origin {
    std::string scheme;
    std::string host;  // lower case
    unsigned port = 0;
};

// The host and port of an authority ("user@host:port", "[::1]:8080"); nothing when the
// host is empty or the port is not a number from 0 to 65535.
std::optional<Origin> OriginOf(const Reference& ref) {
    std::string_view rest = ref.authority;
    rest.remove_prefix(rest.rfind('@') == std::string_view::npos ? 0 : rest.rfind('@') + 1);
    std::size_t hostEnd = rest.rfind(':');
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t bracket = rest.find(']');
        if (bracket == std::string_view::npos) {
            return std::nullopt;
        }
        hostEnd = bracket + 1 < rest.size() ? bracket + 1 : std::string_view::npos;
        if (hostEnd != std::string_view::npos && rest[hostEnd] != ':') {
            return std::nullopt;
        }
    }
    Origin origin;
    origin.scheme = ref.scheme;
    for (const char c : rest.substr(0, hostEnd)) {
        origin.host += ascii::ToLower(c);
    }
    origin.port = ref.scheme == "https" ? 443 : 80;
    if (hostEnd != std::string_view::npos && hostEnd + 1 < rest.size()) {
        const std::string_view digits = rest.substr(hostEnd + 1);
        unsigned port = 0;
        for (const char c : digits) {
            if (!ascii::IsDigit(c) || (port = port * 10 + static_cast<unsigned>(c - '0')) > 65535) {
                return std::nullopt;
            }
        }
        origin.port = port;
    }
    if (origin.host.empty()) {
        return std::nullopt;
    }
    return origin;
}

// Resolves "." and ".." segments the way every browser does (RFC 3986, 5.2.4).
std::string RemoveDotSegments(std::string_view in) {
    std::string out;
    while (!in.empty()) {
        if (in.substr(0, 3) == "../") {
            in.remove_prefix(3);
        } else if (in.substr(0, 2) == "./") {
            in.remove_prefix(2);
        } else if (in.substr(0, 3) == "/./") {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.substr(0, 4) == "/../" || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            const std::size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const std::size_t next = in.find('/', 1);
            out.append(in.substr(0, next));
            in.remove_prefix(next == std::string_view::npos ? in.size() : next);
        }
    }
    return out;
}

}  // namespace

bool IsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool RedirectDropsBody(int status) {
    return status == 301 || status == 302 || status == 303;
}

RedirectTarget ResolveLocation(std::string_view base, std::string_view location) {
    const std::optional<Reference> from = Split(base);
    std::optional<Reference> ref = Split(ascii::TrimBlanks(location));
    if (!ref || location.empty()) {
        return {{}, "the Location '" + std::string(location) + "' is not a URL"};
    }
    if (!ref->scheme.empty() && ref->scheme != "http" && ref->scheme != "https") {
        return {{},
                "Protocol \"" + ref->scheme +
                    "\" not supported: rvfetch follows redirects to http and https only",
                true};
    }
    if (ref->scheme.empty()) {
        if (!from || from->scheme.empty() || !from->hasAuthority) {
            return {{},
                    "the relative Location '" + std::string(location) +
                        "' cannot be resolved against " + std::string(base)};
        }
        ref->scheme = from->scheme;
        if (!ref->hasAuthority) {
            ref->hasAuthority = true;
            ref->authority = from->authority;
            if (ref->path.empty()) {
                ref->path = from->path;
                if (!ref->hasQuery) {
                    ref->hasQuery = from->hasQuery;
                    ref->query = from->query;
                }
            } else if (ref->path.front() != '/') {
                const std::size_t slash = from->path.rfind('/');
                ref->path = (slash == std::string::npos ? std::string("/")
                                                        : from->path.substr(0, slash + 1)) +
                            ref->path;
            }
        }
    }
    if (!ref->hasAuthority || !OriginOf(*ref)) {
        return {{}, "the Location '" + std::string(location) + "' is not a URL"};
    }
    std::string url = ref->scheme + "://" + ref->authority + RemoveDotSegments(ref->path);
    if (ref->path.empty()) {
        url += '/';
    }
    if (ref->hasQuery) {
        url += '?' + ref->query;
    }
    return {url, {}};
}

bool SameOrigin(std::string_view a, std::string_view b) {
    const std::optional<Reference> first = Split(a);
    const std::optional<Reference> second = Split(b);
    if (!first || !second) {
        return false;
    }
    const std::optional<Origin> x = OriginOf(*first);
    const std::optional<Origin> y = OriginOf(*second);
    return x && y && x->scheme == y->scheme && x->host == y->host && x->port == y->port;
}

}  // namespace rvfetch

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// URL handling of the transport: the canonical form requests are made from, and the parts
// a connection and a request need. Nothing here escapes characters; a URL that carries
// unsafe characters keeps them.
namespace RVUtil::transport {

enum class UrlScheme { Other, Ftp, Http, Https };

struct UrlParts {
    UrlScheme scheme = UrlScheme::Other;
    std::string host;  // as written, an IPv6 literal with its brackets
    std::uint16_t port = 0;
    std::string path;  // from the first '/' on, query string and fragment included
};

// Gives the canonical form of url: surrounding blanks dropped, the scheme in lower case,
// "." and ".." path segments resolved, and "/" as the path of a URL with an authority but
// no path. False when the text has no scheme.
bool CanonicalizeUrl(std::string_view url, std::string* canonical);

// Splits a canonical URL. The port is the one written, else 80 for http, 443 for https and
// 21 for ftp. Other schemes are reported as Other with nothing else filled in. False when
// the authority cannot be read: no "//", a port that is not a number from 1 to 65535, an
// unclosed IPv6 bracket.
bool CrackUrl(std::string_view canonical, UrlParts* parts);

}  // namespace RVUtil::transport

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace RVUtil::platform {

// One proxy server named by the environment, e.g. http_proxy=http://user:pw@host:3128.
struct ProxyServer {
    std::string url;     // the variable's value as given
    std::string scheme;  // lower case: http, https, socks4, socks4a, socks5 or socks5h
    std::string host;    // an IPv6 literal without its brackets
    std::uint16_t port = 0;
    std::string user;  // from the URL's user info, percent-decoded; empty when none
    std::string password;

    // scheme://host:port, brackets around an IPv6 literal, without the credentials: the
    // form a transport connects to.
    std::string Address() const;
};

// Reads one proxy variable's value: [scheme://][user[:password]@]host[:port][/...].
// Without a scheme the proxy is http; without a port it is 1080, or 443 for an https
// proxy, as curl assumes. Anything else that does not parse is nullopt: treated as unset.
std::optional<ProxyServer> ParseProxyUrl(std::string_view value);

// Pieces that no_proxy entries share with proxy URLs.
// A decimal port from 1 to 65535; nullopt for anything else.
std::optional<std::uint16_t> ParsePort(std::string_view text);

}  // namespace RVUtil::platform

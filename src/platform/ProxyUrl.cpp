#include "platform/ProxyUrl.h"

#include <algorithm>
#include <array>

#include "platform/Ascii.h"

namespace RVUtil::platform {

namespace {

constexpr std::uint16_t kDefaultPort = 1080;
constexpr std::uint16_t kDefaultHttpsPort = 443;
constexpr std::array<std::string_view, 6> kSchemes = {"http",    "https",  "socks4",
                                                      "socks4a", "socks5", "socks5h"};

// %XY escapes decoded; a '%' without two hex digits makes the whole value malformed.
std::optional<std::string> PercentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        const int hi = i + 2 < s.size() ? ascii::HexDigitValue(s[i + 1]) : -1;
        const int lo = hi >= 0 ? ascii::HexDigitValue(s[i + 2]) : -1;
        if (lo < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

bool IsNameChar(char c) {
    return ascii::IsAlnum(c) || c == '-' || c == '.' || c == '_';
}

bool IsIpv6Char(char c) {
    return ascii::HexDigitValue(c) >= 0 || c == ':' || c == '.';
}

// Takes "user[:password]@" off the front of authority into proxy, percent-decoded; false when
// it does not decode.
bool TakeUserInfo(std::string_view& authority, ProxyServer& proxy) {
    const auto at = authority.rfind('@');
    if (at == std::string_view::npos) {
        return true;
    }
    const std::string_view userInfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
    const auto colon = userInfo.find(':');
    auto user = PercentDecode(userInfo.substr(0, colon));
    auto password = PercentDecode(colon == std::string_view::npos ? std::string_view{}
                                                                  : userInfo.substr(colon + 1));
    if (!user || !password) {
        return false;
    }
    proxy.user = std::move(*user);
    proxy.password = std::move(*password);
    return true;
}

struct HostAndPort {
    std::string_view host;
    std::optional<std::string_view> port;  // the port's text, when there is one
};

// "[IPv6 literal]" with an optional ":port"; nullopt for anything else.
std::optional<HostAndPort> SplitBracketedHost(std::string_view authority) {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    HostAndPort split{authority.substr(1, close - 1), std::nullopt};
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
        if (after.front() != ':') {
            return std::nullopt;
        }
        split.port = after.substr(1);
    }
    if (split.host.find(':') == std::string_view::npos ||
        !std::all_of(split.host.begin(), split.host.end(), IsIpv6Char)) {
        return std::nullopt;
    }
    return split;
}

// The host and the port's text of an authority: a name, an IPv4 address or a bracketed IPv6
// literal; nullopt for anything else, an IPv6 literal without brackets among it.
std::optional<HostAndPort> SplitHostAndPort(std::string_view authority) {
    if (!authority.empty() && authority.front() == '[') {
        return SplitBracketedHost(authority);
    }
    const auto colon = authority.find(':');
    HostAndPort split{authority.substr(0, colon), std::nullopt};
    if (colon != std::string_view::npos) {
        split.port = authority.substr(colon + 1);
    }
    if (!std::all_of(split.host.begin(), split.host.end(), IsNameChar)) {
        return std::nullopt;
    }
    return split;
}

}  // namespace

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : text) {
        if (!ascii::IsDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<ProxyServer> ParseProxyUrl(std::string_view value) {
    const std::string_view v = ascii::Trim(value, ascii::IsBlankOrLineEnd);
    if (v.empty() || std::any_of(v.begin(), v.end(), [](char c) {
            return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f;
        })) {
        return std::nullopt;
    }
    ProxyServer proxy;
    proxy.url = std::string(value);

    std::string_view rest = v;
    if (const auto sep = v.find("://"); sep != std::string_view::npos) {
        proxy.scheme = ascii::Lower(v.substr(0, sep));
        rest = v.substr(sep + 3);
    } else {
        proxy.scheme = "http";
    }
    if (std::find(kSchemes.begin(), kSchemes.end(), proxy.scheme) == kSchemes.end()) {
        return std::nullopt;
    }

    std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (!TakeUserInfo(authority, proxy)) {
        return std::nullopt;
    }
    const std::optional<HostAndPort> split = SplitHostAndPort(authority);
    if (!split || split->host.empty()) {
        return std::nullopt;
    }
    proxy.host = ascii::Lower(split->host);
    if (split->port) {
        const auto port = ParsePort(*split->port);
        if (!port) {
            return std::nullopt;
        }
        proxy.port = *port;
    } else {
        proxy.port = proxy.scheme == "https" ? kDefaultHttpsPort : kDefaultPort;
    }
    return proxy;
}

std::string ProxyServer::Address() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return scheme + "://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace RVUtil::platform

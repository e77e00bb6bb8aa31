#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace RVUtil::platform {

// One proxy server named by the environment, e.g. http_proxy=http://user:pw@host:3128.
struct ProxyServer {
    std::string url;       // the variable's value as given
    std::string host;
    std::uint16_t port = 0;
    std::string user;      // from the URL's user info, percent-decoded; empty when none
    std::string password;
};

// The machine's proxy configuration: the one place the fetchers and the probe ask.
struct SystemProxySettings {
    std::optional<ProxyServer> http;   // http_proxy, HTTP_PROXY
    std::optional<ProxyServer> https;  // https_proxy, HTTPS_PROXY
    std::optional<ProxyServer> all;    // all_proxy, ALL_PROXY
    std::string noProxy;               // no_proxy, NO_PROXY, as given

    // The single named proxy of the per-process view (what a new curl handle adopts, what
    // the probe counts as "a named proxy is in force"); null when none is.
    const ProxyServer* Named() const;
    // The proxy for a request to scheme://host, or null when it goes direct (no proxy set
    // for that scheme, or the host matches noProxy).
    const ProxyServer* ForTarget(std::string_view scheme, std::string_view host) const;
};

// Reads the environment anew on each call.
SystemProxySettings ReadSystemProxy();

}  // namespace RVUtil::platform

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ProxyUrl.h"

namespace RVUtil::platform {

// The machine's proxy configuration: the one place the fetchers and the probe ask.
struct SystemProxySettings {
    std::optional<ProxyServer> http;   // http_proxy, HTTP_PROXY
    std::optional<ProxyServer> https;  // https_proxy, HTTPS_PROXY
    std::optional<ProxyServer> all;    // all_proxy, ALL_PROXY
    std::string noProxy;               // no_proxy, NO_PROXY, as given
    // auto_proxy, AUTO_PROXY: the URL of an automatic-configuration (PAC) script; empty
    // when none is set.
    std::string autoConfigUrl;

    // The three facts the backend probe weighs.
    bool AutoConfigScriptInForce() const { return !autoConfigUrl.empty(); }
    // Automatic proxy discovery has no setting in the environment; never in force here.
    bool AutoDetectInForce() const { return false; }
    bool NamedProxyInForce() const { return Named() != nullptr; }

    // The single named proxy of the per-process view (what a new curl handle adopts, what
    // the probe counts as "a named proxy is in force"): all_proxy, else https_proxy, else
    // http_proxy; null when none is set or no_proxy sends every host direct ("*").
    const ProxyServer* Named() const;
    // The proxy for a request to scheme://host:port, or null when it goes direct (no proxy
    // set for that scheme, or the host matches noProxy). Port 0 stands for the scheme's
    // default port. host may be an IPv6 literal with or without brackets.
    const ProxyServer* ForTarget(std::string_view scheme, std::string_view host,
                                 std::uint16_t port = 0) const;
};

// Reads the environment anew on each call.
SystemProxySettings ReadSystemProxy();

// Settings that send every scheme through one proxy (proxy, read as a proxy variable's
// value; empty or unreadable: none) except for the hosts noProxy lists (as no_proxy).
SystemProxySettings ExplicitProxySettings(std::string_view proxy, std::string noProxy);

}  // namespace RVUtil::platform

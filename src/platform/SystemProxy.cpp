#include "platform/SystemProxy.h"

#include <array>
#include <cstdlib>

#include "platform/Ascii.h"
#include "platform/NoProxyList.h"
#include "platform/ProxyUrl.h"

// The environment stands in for the system's proxy settings. Each setting is read under
// its lower-case name first; the upper-case name counts only when the lower-case one is
// unset, empty or malformed. A malformed value counts as unset.
namespace RVUtil::platform {

namespace {

constexpr std::uint16_t kHttpPort = 80;
constexpr std::uint16_t kHttpsPort = 443;
constexpr std::array<std::string_view, 3> kScriptSchemes = {"http://", "https://", "file://"};

template <class Parse>
auto ReadVariable(const char* lower, const char* upper, Parse parse) -> decltype(parse("")) {
    for (const char* name : {lower, upper}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            if (auto parsed = parse(value)) {
                return parsed;
            }
        }
    }
    return {};
}

std::optional<std::string> AnyText(std::string_view value) {
    return std::string(value);
}

// A script location must at least name its scheme and something after it.
std::optional<std::string> ScriptUrl(std::string_view value) {
    const std::string lower = ascii::Lower(value);
    for (const std::string_view scheme : kScriptSchemes) {
        if (lower.starts_with(scheme) && lower.size() > scheme.size() &&
            lower.find_first_of(" \t\r\n") == std::string::npos) {
            return std::string(value);
        }
    }
    return std::nullopt;
}

}  // namespace

const ProxyServer* SystemProxySettings::Named() const {
    if (NoProxyMatchesAll(noProxy)) {
        return nullptr;
    }
    // all_proxy names one proxy for every scheme, the closest to a single named proxy; of
    // the per-scheme ones https comes first, as the servers are mostly reached over TLS.
    for (const auto* candidate : {&all, &https, &http}) {
        if (*candidate) {
            return &**candidate;
        }
    }
    return nullptr;
}

const ProxyServer* SystemProxySettings::ForTarget(std::string_view scheme, std::string_view host,
                                                  std::uint16_t port) const {
    const std::string s = ascii::Lower(scheme);
    const std::optional<ProxyServer>* chosen = &all;
    if (s == "http" && http) {
        chosen = &http;
    } else if (s == "https" && https) {
        chosen = &https;
    }
    if (!*chosen) {
        return nullptr;
    }
    if (port == 0) {
        port = s == "https" ? kHttpsPort : s == "http" ? kHttpPort : 0;
    }
    return NoProxyMatches(noProxy, host, port) ? nullptr : &**chosen;
}

SystemProxySettings ReadSystemProxy() {
    SystemProxySettings settings;
    settings.http = ReadVariable("http_proxy", "HTTP_PROXY", ParseProxyUrl);
    settings.https = ReadVariable("https_proxy", "HTTPS_PROXY", ParseProxyUrl);
    settings.all = ReadVariable("all_proxy", "ALL_PROXY", ParseProxyUrl);
    settings.noProxy = ReadVariable("no_proxy", "NO_PROXY", AnyText).value_or("");
    settings.autoConfigUrl = ReadVariable("auto_proxy", "AUTO_PROXY", ScriptUrl).value_or("");
    return settings;
}

SystemProxySettings ExplicitProxySettings(std::string_view proxy, std::string noProxy) {
    SystemProxySettings settings;
    settings.all = ParseProxyUrl(proxy);
    settings.noProxy = std::move(noProxy);
    return settings;
}

}  // namespace RVUtil::platform

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/SystemProxy.h"

namespace RVUtil::platform {

// Reads one proxy variable's value: [scheme://][user[:password]@]host[:port][/...].
// Without a scheme the proxy is http; without a port it is 1080, or 443 for an https
// proxy, as curl assumes. Anything else that does not parse is nullopt: treated as unset.
std::optional<ProxyServer> ParseProxyUrl(std::string_view value);

// Pieces that no_proxy entries share with proxy URLs.
std::string AsciiLower(std::string_view text);
// A decimal port from 1 to 65535; nullopt for anything else.
std::optional<std::uint16_t> ParsePort(std::string_view text);

}  // namespace RVUtil::platform

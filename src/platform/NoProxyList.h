#pragma once

#include <cstdint>
#include <string_view>

namespace RVUtil::platform {

// True when a request to host:port goes direct under a no_proxy list: entries separated by
// commas or white space; "*" matches every host; a name matches itself and every name below
// it ("example.com" and ".example.com" both match "www.example.com"); an optional ":port"
// limits an entry to that port; letter case is ignored; IP literals match only the same text
// (no ranges). Entries that do not parse match nothing.
bool NoProxyMatches(std::string_view list, std::string_view host, std::uint16_t port);

// True when the list sends every host direct.
bool NoProxyMatchesAll(std::string_view list);

}  // namespace RVUtil::platform

#pragma once

#include <string>
#include <string_view>

namespace rvfetch {

// The statuses -L follows: 301, 302, 303, 307 and 308.
bool IsRedirectStatus(int status);
// 301, 302 and 303 turn a POST into a GET without a body, as browsers and curl do; 307
// and 308 repeat the request as it was.
bool RedirectDropsBody(int status);

// Where a Location leads from base: an absolute URL, or the reason rvfetch does not go
// there (a scheme other than http and https, or text that is not a URL reference).
struct RedirectTarget {
    std::string url;
    std::string refusal;       // empty when url holds the target
    bool otherScheme = false;  // refused for its scheme
};
RedirectTarget ResolveLocation(std::string_view base, std::string_view location);

// Same scheme, host (letter case ignored) and port, the scheme's default port counting for
// none: a request header meant for one may go to the other.
bool SameOrigin(std::string_view a, std::string_view b);

}  // namespace rvfetch

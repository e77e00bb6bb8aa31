#include "platform/NoProxyList.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/Ascii.h"
#include "platform/ProxyUrl.h"

namespace RVUtil::platform {

namespace {

constexpr std::string_view kSeparators = ", \t\r\n";

// Calls f on each entry of the list until f returns true.
template <class F>
bool AnyEntry(std::string_view list, F&& f) {
    std::size_t pos = 0;
    while ((pos = list.find_first_not_of(kSeparators, pos)) != std::string_view::npos) {
        const std::size_t end = std::min(list.find_first_of(kSeparators, pos), list.size());
        if (f(list.substr(pos, end - pos))) {
            return true;
        }
        pos = end;
    }
    return false;
}

// Lower case, without IPv6 brackets and without the dot that may end a full name.
std::string NormalHost(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (!host.empty() && host.back() == '.') {
        host.remove_suffix(1);
    }
    return ascii::Lower(host);
}

bool IsIpLiteral(std::string_view host) {
    return host.find(':') != std::string_view::npos ||
           std::all_of(host.begin(), host.end(),
                       [](char c) { return ascii::IsDigit(c) || c == '.'; });
}

struct Entry {
    std::string name;
    std::uint16_t port = 0;  // 0: any port
};

std::optional<Entry> ParseEntry(std::string_view text) {
    Entry entry;
    std::string_view name = text;
    std::optional<std::string_view> portText;
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        name = text.substr(0, close + 1);
        const std::string_view after = text.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return std::nullopt;
            }
            portText = after.substr(1);
        }
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        const auto colon = text.find(':');
        name = text.substr(0, colon);
        portText = text.substr(colon + 1);
    }  // more than one colon: a bare IPv6 literal, which cannot carry a port
    if (portText) {
        const auto port = ParsePort(*portText);
        if (!port) {
            return std::nullopt;
        }
        entry.port = *port;
    }
    while (!name.empty() && name.front() == '.') {
        name.remove_prefix(1);
    }
    entry.name = NormalHost(name);
    if (entry.name.empty()) {
        return std::nullopt;
    }
    return entry;
}

}  // namespace

bool NoProxyMatches(std::string_view list, std::string_view host, std::uint16_t port) {
    const std::string target = NormalHost(host);
    const bool ipLiteral = IsIpLiteral(target);
    return AnyEntry(list, [&](std::string_view text) {
        if (text == "*") {
            return true;
        }
        const auto entry = ParseEntry(text);
        if (!entry || (entry->port != 0 && entry->port != port)) {
            return false;
        }
        if (target == entry->name) {
            return true;
        }
        const std::size_t n = entry->name.size();
        return !ipLiteral && target.size() > n && target[target.size() - n - 1] == '.' &&
               target.compare(target.size() - n, n, entry->name) == 0;
    });
}

bool NoProxyMatchesAll(std::string_view list) {
    return AnyEntry(list, [](std::string_view text) { return text == "*"; });
}

}  // namespace RVUtil::platform

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rvfetch {

// What rvfetch reads from an answer's final head as received (read by http/ParsedHead.h, as
// the library reads it): the status, its reason phrase and the header lines.
struct ResponseHead {
    int status = 0;  // 0: no status line
    std::string reason;
    std::vector<std::pair<std::string, std::string>> headers;

    // The first value of that name, letter case ignored.
    std::optional<std::string_view> Header(std::string_view name) const;
    // The declared body length, when there is one and no transfer coding overrides it.
    std::optional<std::uint64_t> ContentLength() const;
    // A non-empty RV_Error verdict.
    bool HasVerdict() const;
};

ResponseHead ReadResponseHead(std::string_view block);

}  // namespace rvfetch

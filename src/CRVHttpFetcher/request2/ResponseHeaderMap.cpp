#include "CRVHttpFetcher/request2/ResponseHeaderMap.h"

#include <cstdint>
#include <cstring>

#include "http/HeaderLines.h"
#include "platform/Ascii.h"

namespace RVUtil::request2 {

// FNV-1a over the upper-cased bytes: no folded copy of the name is made.
std::size_t HeaderNameHash::operator()(std::string_view name) const noexcept {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(ascii::ToUpper(c));
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

bool HeaderNameEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    return ascii::EqualsNoCase(a, b);
}

void ParseHeaderBlock(const char* text, std::size_t length, ResponseHeaderMap* map) {
    http::ForEachHeaderLine(std::string_view(text, length), [map](std::string_view line) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return;
        }
        const std::string_view value = line.substr(colon + 1);
        auto [entry, added] = map->try_emplace(std::string(line.substr(0, colon)), value);
        if (!added) {
            entry->second.append("; ").append(value);
        }
    });
}

}  // namespace RVUtil::request2

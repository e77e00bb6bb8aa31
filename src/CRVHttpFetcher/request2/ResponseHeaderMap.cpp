#include "CRVHttpFetcher/request2/ResponseHeaderMap.h"

#include <cstdint>
#include <exception>

#include "http/FieldValues.h"
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

void AddFields(const http::HeadView& head, ResponseHeaderMap* map) {
    for (std::size_t i = 0; i < head.FieldCount(); ++i) {
        const http::HeaderField field = head.Field(i);
        auto [entry, added] = map->try_emplace(std::string(field.name), field.value);
        if (!added) {
            entry->second.append("; ").append(field.value);
        }
    }
}

std::uint32_t DeclaredContentLength(const ResponseHeaderMap& map) {
    try {
        const auto entry = map.find("content-length");
        if (entry == map.end()) {
            return 0;
        }
        return http::ReadUnsignedLong32(entry->second).value_or(0);
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace RVUtil::request2

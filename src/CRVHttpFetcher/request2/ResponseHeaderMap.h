#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "http/ParsedHead.h"

// The response headers of a streaming request, one entry per name: names that differ only
// in ASCII letter case are one name, and a header sent more than once keeps every value.
namespace RVUtil::request2 {

// Hashes and compares names as their ASCII upper-case forms, so that equal names always
// share a bucket whatever case the server wrote them in.
struct HeaderNameHash {
    std::size_t operator()(std::string_view name) const noexcept;
};
struct HeaderNameEqual {
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

using ResponseHeaderMap =
    std::unordered_map<std::string, std::string, HeaderNameHash, HeaderNameEqual>;

// Adds every field of head (a line with a colon, see http::HeadIndex) to map, name and value
// exactly as received, so the value keeps the blank after the colon. A name already in the
// map gets "; " and the new value appended to its value.
void AddFields(const http::HeadView& head, ResponseHeaderMap* map);

// The "content-length" entry of map (any letter case) read as http::ReadUnsignedLong32
// reads it; 0 when the entry is missing or unreadable. Nothing raised while looking it up
// or reading it leaves here.
std::uint32_t DeclaredContentLength(const ResponseHeaderMap& map);

}  // namespace RVUtil::request2

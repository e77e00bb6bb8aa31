#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

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

// Adds the header lines of a raw block (length bytes) to map, the lines cut as
// http::ForEachHeaderLine cuts them (at LF, one CR before it dropped). A line is
// "name:value" split at its first colon; name and value are kept exactly as received, so
// the value keeps the blank after the colon. A name already in the map gets "; " and the
// new value appended to its value. Lines without a colon (the status line, the closing
// empty line) and a last line without its LF are passed over.
void ParseHeaderBlock(const char* text, std::size_t length, ResponseHeaderMap* map);

}  // namespace RVUtil::request2

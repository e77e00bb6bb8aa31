// The length a streaming request reads from Content-Length, against the C library's
// strtoull cut the way std::stoul into a 32-bit unsigned long is: no digits or a value
// beyond 32 bits reads nothing, a minus sign negates modulo 2^32. The input also goes
// through the header map as a raw block, whose declared length must read the same way.
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

#include "CRVHttpFetcher/request2/ResponseHeaderMap.h"
#include "http/FieldValues.h"
#include "support/FuzzCheck.h"

namespace {

std::optional<std::uint32_t> Strtoul32(std::string_view text) {
    const std::string copy(text);  // strtoull stops at the first zero byte, as the reader does
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(copy.c_str(), &end, 10);
    if (end == copy.c_str() || errno == ERANGE) {
        return std::nullopt;
    }
    const std::size_t first = copy.find_first_not_of(" \t\n\v\f\r");
    const bool negative = first != std::string::npos && copy[first] == '-';
    const unsigned long long magnitude = negative ? 0ULL - value : value;
    if (magnitude > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace RVUtil::request2;
    const std::string_view text = rvfuzz::Text(data, size);
    FUZZ_CHECK(RVUtil::http::ReadUnsignedLong32(text) == Strtoul32(text));

    RVUtil::http::HeadIndex index;
    index.Read(text);
    ResponseHeaderMap map;
    AddFields(RVUtil::http::HeadView(text, index), &map);
    for (const auto& [name, value] : map) {
        FUZZ_CHECK(name.find(':') == std::string::npos);
    }
    const auto entry = map.find("Content-Length");
    const std::uint32_t expected = entry == map.end() ? 0 : Strtoul32(entry->second).value_or(0);
    FUZZ_CHECK(DeclaredContentLength(map) == expected);
    return 0;
}

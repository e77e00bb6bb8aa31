#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "CRVHttpFetcher/request2/ResponseHeaderMap.h"

// The body length a response declares, read the way the C++ library's std::stoul reads a
// decimal number into a 32-bit unsigned long.
namespace RVUtil::request2 {

// White space skipped, an optional sign, then decimal digits up to the first other
// character. Empty when std::stoul would raise: no digits, or digits whose value exceeds
// 32 bits. A minus sign negates modulo 2^32, as strtoul does ("-1" reads 4294967295).
std::optional<std::uint32_t> ReadUnsignedLong32(std::string_view text);

// The "content-length" entry of map (any letter case) read as above; 0 when the entry is
// missing or unreadable. Nothing raised while looking it up or reading it leaves here.
std::uint32_t DeclaredContentLength(const ResponseHeaderMap& map);

}  // namespace RVUtil::request2

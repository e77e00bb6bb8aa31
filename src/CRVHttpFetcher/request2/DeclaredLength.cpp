#include "CRVHttpFetcher/request2/DeclaredLength.h"

#include <exception>
#include <limits>

#include "platform/Ascii.h"

namespace RVUtil::request2 {
namespace {

constexpr std::uint64_t kMaxValue = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::optional<std::uint32_t> ReadUnsignedLong32(std::string_view text) {
    std::size_t i = text.size() - ascii::TrimLeft(text, ascii::IsSpace).size();
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (; i < text.size() && ascii::IsDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > kMaxValue) {
            overflow = true;  // keep scanning: the digits still belong to the number
            magnitude = kMaxValue + 1;
        }
    }
    if (i == digitsStart || overflow) {
        return std::nullopt;
    }
    const auto value = static_cast<std::uint32_t>(magnitude);
    return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

std::uint32_t DeclaredContentLength(const ResponseHeaderMap& map) {
    try {
        const auto entry = map.find("content-length");
        if (entry == map.end()) {
            return 0;
        }
        return ReadUnsignedLong32(entry->second).value_or(0);
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace RVUtil::request2

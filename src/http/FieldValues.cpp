#include "http/FieldValues.h"

#include <limits>

#include "platform/Ascii.h"

namespace RVUtil::http {

bool FoldContentLength(std::string_view value, std::optional<std::uint64_t>* length) {
    // Far above any body anybody can hold, and far enough below 2^64 that the digits never
    // overflow.
    constexpr std::uint64_t kLargestLength = std::uint64_t{1} << 58;
    bool any = false;
    bool readable = true;
    ForEachListElement(value, [&](std::string_view element) {
        std::uint64_t n = 0;
        for (const char c : element) {
            if (!ascii::IsDigit(c) || n > kLargestLength) {
                readable = false;
                return;
            }
            n = n * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (length->has_value() && **length != n) {
            readable = false;
        }
        *length = n;
        any = true;
    });
    return readable && any;
}

bool IsChunkedAlone(std::string_view value) {
    int codings = 0;
    bool chunked = false;
    ForEachListElement(value, [&](std::string_view coding) {
        ++codings;
        chunked = ascii::EqualsNoCase(coding, "chunked");
    });
    return codings == 1 && chunked;
}

std::optional<std::uint32_t> ReadUnsignedLong32(std::string_view text) {
    constexpr std::uint64_t kMaxValue = std::numeric_limits<std::uint32_t>::max();
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

}  // namespace RVUtil::http

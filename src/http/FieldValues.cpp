#include "http/FieldValues.h"

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

}  // namespace RVUtil::http

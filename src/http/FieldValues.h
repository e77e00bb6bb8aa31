#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/Ascii.h"

// Values of response header fields, read one way for the whole library: the transport, the
// curl fetcher and rvfetch all take a list or a declared length from here.
namespace RVUtil::http {

// Calls element(text) for each element of a comma-separated field value, blanks around it
// trimmed; empty elements ("a,,b", a trailing comma) are skipped.
template <class ElementFn>
void ForEachListElement(std::string_view value, ElementFn&& element) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        const std::string_view item = ascii::TrimBlanks(value.substr(0, comma));
        if (!item.empty()) {
            element(item);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        value.remove_prefix(comma + 1);
    }
}

// Folds one Content-Length field value into *length: a decimal number, or a list of equal
// numbers ("5, 5"), equal to any length folded in before (a repeated line). False for a
// value that is no such number or list, or that differs from what came before: a response
// that names two lengths cannot be framed, whichever a reader picked.
bool FoldContentLength(std::string_view value, std::optional<std::uint64_t>* length);

// Whether a Transfer-Encoding value names the chunked coding alone (letter case and blanks
// around it aside). Any other coding, or a list, leaves a body that cannot be framed the same
// way by every reader, and so a response that is refused.
bool IsChunkedAlone(std::string_view value);

// A Content-Length value read the way the C++ library's std::stoul reads a decimal number
// into a 32-bit unsigned long (the streaming request's reading): white space skipped, an
// optional sign, then decimal digits up to the first other character. Empty when std::stoul
// would raise: no digits, or digits whose value exceeds 32 bits. A minus sign negates modulo
// 2^32, as strtoul does ("-1" reads 4294967295).
std::optional<std::uint32_t> ReadUnsignedLong32(std::string_view text);

}  // namespace RVUtil::http

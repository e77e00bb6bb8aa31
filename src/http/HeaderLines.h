#pragma once

#include <cstddef>
#include <string_view>

// The lines of a response's raw header block, read the same way by both fetchers. A line
// ends at LF, and one CR right before that LF is not part of it, so blocks with CR LF ends,
// LF-only ends and a mix of both give the same lines. (libcurl passes heads on as they were
// received, and servers that end lines in LF alone exist.) A CR anywhere else is an
// ordinary byte of its line. The raw block itself is always kept as received.
namespace RVUtil::http {

// Calls line(text) for each complete line of block, the status line and the empty line
// that ends a head included; bytes after the last LF form no line.
template <class LineFn>
void ForEachHeaderLine(std::string_view block, LineFn&& line) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = block.find('\n', start);
        if (lf == std::string_view::npos) {
            return;
        }
        std::size_t end = lf;
        if (end > start && block[end - 1] == '\r') {
            --end;
        }
        line(block.substr(start, end - start));
        start = lf + 1;
    }
}

}  // namespace RVUtil::http

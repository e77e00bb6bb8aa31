#pragma once

#include <string_view>

// The first line of a response head.
namespace RVUtil::http {

// An interim answer (100 Continue, 103 Early Hints, ...): a final one follows it. 101
// Switching Protocols is the last answer in HTTP/1.1 on its connection.
constexpr bool IsInterimStatus(int status) {
    return status >= 100 && status < 200 && status != 101;
}

struct StatusLine {
    int major = 0;  // HTTP version
    int minor = 0;
    int status = 0;           // the three digits as a number
    std::string_view code;    // the three digits as received
    std::string_view reason;  // the reason phrase after them, possibly empty
};

// Reads "HTTP/1.0 " or "HTTP/1.1 ", a status of three digits from 100 to 999, and the end or
// a space and the reason phrase (spaces after the version may repeat); false for anything
// else, and for a NUL or a CR left in the line. The views point into line.
bool ReadStatusLine(std::string_view line, StatusLine* out);

// Where a line of a head stands: the status line, the first header line after it, or a
// later one.
enum class HeaderLinePlace { StatusLine, First, Later };

// Why a line of a response head (as ForEachHeaderLine cuts it, its CR before LF gone) makes
// the head unreadable, in words; null when it is fine. A NUL or a CR left anywhere, a header
// line without a colon, and a first header line that starts with a blank (it would continue
// the status line) are refused: readers disagree on such lines, and a response that one
// reader takes one way and another reader another way must be read by neither. A later line
// that starts with a blank continues the one before it.
const char* HeaderLineFault(std::string_view line, HeaderLinePlace place);

}  // namespace RVUtil::http

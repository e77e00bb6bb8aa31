#pragma once

#include <string_view>

#include "platform/Ascii.h"

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
// Inline, as is HeaderLineFault: rvfetch, a host of the shared library, reads heads too.
inline bool ReadStatusLine(std::string_view line, StatusLine* out);

// Where a line of a head stands: the status line, the first header line after it, or a
// later one.
enum class HeaderLinePlace { StatusLine, First, Later };

// Why a line of a response head (as ForEachHeaderLine cuts it, its CR before LF gone) makes
// the head unreadable, in words; null when it is fine. A NUL or a CR left anywhere, a header
// line without a colon, and a first header line that starts with a blank (it would continue
// the status line) are refused: readers disagree on such lines, and a response that one
// reader takes one way and another reader another way must be read by neither. A later line
// that starts with a blank continues the one before it.
inline const char* HeaderLineFault(std::string_view line, HeaderLinePlace place) {
    if (line.find('\0') != std::string_view::npos) {
        return "a NUL byte in the response head";
    }
    if (line.find('\r') != std::string_view::npos) {
        return "a CR without its LF in the response head";
    }
    if (place == HeaderLinePlace::StatusLine) {
        return nullptr;
    }
    if (!line.empty() && ascii::IsBlank(line.front())) {
        return place == HeaderLinePlace::First ? "a first header line that continues nothing"
                                               : nullptr;
    }
    if (line.find(':') == std::string_view::npos) {
        return "a header line without a colon";
    }
    return nullptr;
}

inline bool ReadStatusLine(std::string_view line, StatusLine* out) {
    using ascii::IsDigit;
    // HTTP/1.0 or HTTP/1.1: the versions both fetchers speak. A line ending in CR without LF
    // has kept its CR (see HeaderLines.h) and so fails below with any other stray byte.
    if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || (line[7] != '0' && line[7] != '1') ||
        line[8] != ' ' || HeaderLineFault(line, HeaderLinePlace::StatusLine) != nullptr) {
        return false;
    }
    std::size_t i = 8;
    while (i < line.size() && line[i] == ' ') {
        ++i;
    }
    // Three digits from 100 on, then the end of the line or a space and the reason phrase.
    if (i + 3 > line.size() || line[i] < '1' || line[i] > '9' || !IsDigit(line[i + 1]) ||
        !IsDigit(line[i + 2]) || (i + 3 < line.size() && line[i + 3] != ' ')) {
        return false;
    }
    out->major = 1;
    out->minor = line[7] - '0';
    out->code = line.substr(i, 3);
    out->status = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
    out->reason = i + 4 < line.size() ? line.substr(i + 4) : std::string_view();
    return true;
}

}  // namespace RVUtil::http

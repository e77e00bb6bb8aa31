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

// Reads "HTTP/<digit>.<digit> <3 digits>[ <reason>]" (blanks after the version may repeat);
// false for anything else. The views point into line.
bool ReadStatusLine(std::string_view line, StatusLine* out);

}  // namespace RVUtil::http

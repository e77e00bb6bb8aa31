#include "ResponseHead.h"

#include "http/HeaderLines.h"
#include "platform/Ascii.h"

namespace rvfetch {

namespace ascii = RVUtil::ascii;

namespace {

constexpr std::string_view kLocation = "Location";

// "HTTP/1.1 404 Not Found": the status is the three digits after the first blank, the
// reason phrase what follows the next one.
bool ReadStatusLine(std::string_view line, ResponseHead& head) {
    if (line.substr(0, 5) != "HTTP/") {
        return false;
    }
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || line.size() < blank + 4) {
        return false;
    }
    const std::string_view digits = line.substr(blank + 1, 3);
    int status = 0;
    for (const char c : digits) {
        if (!ascii::IsDigit(c)) {
            return false;
        }
        status = status * 10 + (c - '0');
    }
    head = ResponseHead{};
    head.status = status;
    head.reason = std::string(ascii::TrimBlanks(line.substr(blank + 4)));
    return true;
}

}  // namespace

std::string ResponseHead::StatusText() const {
    if (status == 0) {
        return {};
    }
    return reason.empty() ? std::to_string(status) : std::to_string(status) + " " + reason;
}

ResponseHead ReadResponseHead(std::string_view block) {
    ResponseHead head;
    RVUtil::http::ForEachHeaderLine(block, [&](std::string_view line) {
        if (ReadStatusLine(line, head)) {
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && !head.hasLocation &&
            ascii::EqualsNoCase(line.substr(0, colon), kLocation)) {
            head.hasLocation = true;
            head.location = std::string(ascii::TrimBlanks(line.substr(colon + 1)));
        }
    });
    return head;
}

}  // namespace rvfetch

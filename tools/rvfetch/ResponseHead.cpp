#include "ResponseHead.h"

#include "http/HeaderLines.h"
#include "platform/Ascii.h"

namespace rvfetch {

namespace ascii = RVUtil::ascii;

namespace {

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
    int status = 0;
    for (const char c : line.substr(blank + 1, 3)) {
        if (!ascii::IsDigit(c)) {
            return false;
        }
        status = status * 10 + (c - '0');
    }
    head = ResponseHead{};
    head.status = status;
    head.reason = std::string(ascii::TrimBlanks(line.substr(std::min(line.size(), blank + 4))));
    return true;
}

}  // namespace

std::optional<std::string_view> ResponseHead::header(std::string_view name) const {
    for (const auto& [each, value] : headers) {
        if (ascii::EqualsNoCase(each, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ResponseHead::contentLength() const {
    const auto length = header("Content-Length");
    if (!length || header("Transfer-Encoding") || length->empty() || length->size() > 18) {
        return std::nullopt;
    }
    std::uint64_t n = 0;
    for (const char c : *length) {
        if (!ascii::IsDigit(c)) {
            return std::nullopt;
        }
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n;
}

bool ResponseHead::hasVerdict() const {
    const auto verdict = header("RV_Error");
    return verdict && !verdict->empty();
}

ResponseHead ReadResponseHead(std::string_view block) {
    ResponseHead head;
    RVUtil::http::ForEachHeaderLine(block, [&](std::string_view line) {
        if (ReadStatusLine(line, head)) {
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && colon > 0) {
            head.headers.emplace_back(line.substr(0, colon),
                                      ascii::TrimBlanks(line.substr(colon + 1)));
        }
    });
    return head;
}

}  // namespace rvfetch

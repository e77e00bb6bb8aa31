#include "transport/ResponseHead.h"

#include <optional>

#include "http/FieldValues.h"
#include "http/HeaderLines.h"
#include "http/StatusLine.h"
#include "platform/Ascii.h"

namespace RVUtil::transport {

using ascii::EqualsNoCase;

std::size_t FindResponseHeadEnd(std::string_view data, std::size_t from) {
    // A terminator that ends in the new bytes starts at most two bytes before them.
    std::size_t pos = from >= 2 ? from - 2 : 0;
    while ((pos = data.find('\n', pos)) != std::string_view::npos) {
        if (pos + 1 < data.size() && data[pos + 1] == '\n') {
            return pos + 2;
        }
        if (pos + 2 < data.size() && data[pos + 1] == '\r' && data[pos + 2] == '\n') {
            return pos + 3;
        }
        ++pos;
    }
    return 0;
}

InetError ParseResponseHead(std::string_view head, ResponseHead* out, UnreadableLength rule) {
    ResponseHead result;
    result.rawBlock.assign(head);
    http::StatusLine statusLine;
    bool first = true;
    bool badStatusLine = false;
    bool ended = false;
    bool chunked = false;
    bool transferCoded = false;
    bool close = false;
    bool keepAliveAsked = false;
    std::optional<std::uint64_t> length;
    bool unreadableLength = false;
    http::ForEachHeaderLine(head, [&](std::string_view line) {
        if (first) {
            first = false;
            badStatusLine = !http::ReadStatusLine(line, &statusLine);
            return;
        }
        if (ended || badStatusLine) {
            return;
        }
        if (line.empty()) {
            ended = true;
            return;
        }
        // A line without a colon names nothing; it stays in the raw block and is skipped.
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = line.substr(colon + 1);
        if (EqualsNoCase(name, "Content-Length")) {
            unreadableLength = unreadableLength || !http::FoldContentLength(value, &length);
        } else if (EqualsNoCase(name, "Transfer-Encoding")) {
            http::ForEachListElement(value, [&](std::string_view coding) {
                transferCoded = true;
                chunked = EqualsNoCase(coding, "chunked");
            });
        } else if (EqualsNoCase(name, "Connection")) {
            http::ForEachListElement(value, [&](std::string_view option) {
                close = close || EqualsNoCase(option, "close");
                keepAliveAsked = keepAliveAsked || EqualsNoCase(option, "keep-alive");
            });
        }
    });
    if (first || badStatusLine || (unreadableLength && rule == UnreadableLength::Refuse)) {
        return kInetInvalidResponse;
    }
    result.statusText = std::string(statusLine.code);
    result.status = statusLine.status;
    const int major = statusLine.major;
    const int minor = statusLine.minor;
    if ((result.status >= 100 && result.status < 200) || result.status == 204 ||
        result.status == 304) {
        result.framing = BodyFraming::None;
    } else if (transferCoded) {
        // A transfer coding overrides any Content-Length; one that does not end in chunked
        // can only be delimited by the end of the connection.
        result.framing = chunked ? BodyFraming::Chunked : BodyFraming::UntilClose;
    } else if (length.has_value() && !unreadableLength) {
        result.framing = BodyFraming::Length;
        result.contentLength = *length;
    }
    const bool persistent =
        (major > 1 || (major == 1 && minor >= 1)) ? !close : keepAliveAsked && !close;
    result.keepAlive =
        persistent && result.framing != BodyFraming::UntilClose && result.status != 101;
    *out = std::move(result);
    return kInetOk;
}

}  // namespace RVUtil::transport

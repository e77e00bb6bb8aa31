#include "transport/ResponseHead.h"

#include <optional>
#include <utility>

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

InetError ParseResponseHead(std::string_view head, ResponseHead* out, UnreadableLength rule,
                            const char** fault) {
    const char* found = nullptr;
    const auto refuse = [&](const char* why) {
        if (found == nullptr) {
            found = why;
        }
    };
    ResponseHead result;
    result.rawBlock.assign(head);
    http::StatusLine statusLine;
    bool first = true;
    bool firstHeader = true;
    bool ended = false;
    bool transferCoded = false;
    bool chunked = false;
    bool close = false;
    bool keepAliveAsked = false;
    std::optional<std::uint64_t> length;
    bool unreadableLength = false;
    http::ForEachHeaderLine(head, [&](std::string_view line) {
        if (ended || found != nullptr) {
            return;
        }
        if (first) {
            first = false;
            if (!http::ReadStatusLine(line, &statusLine)) {
                refuse("not an HTTP/1.0 or 1.1 status line");
            }
            return;
        }
        if (line.empty()) {
            ended = true;
            return;
        }
        const bool isFirst = std::exchange(firstHeader, false);
        if (const char* fault = http::HeaderLineFault(
                line, isFirst ? http::HeaderLinePlace::First : http::HeaderLinePlace::Later)) {
            refuse(fault);
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return;  // a line that continues the one before it
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = line.substr(colon + 1);
        if (EqualsNoCase(name, "Content-Length")) {
            unreadableLength = unreadableLength || !http::FoldContentLength(value, &length);
        } else if (EqualsNoCase(name, "Transfer-Encoding")) {
            transferCoded = true;
            chunked = http::IsChunkedAlone(value);
            if (!chunked) {
                refuse("a transfer coding other than chunked alone");
            }
        } else if (EqualsNoCase(name, "Connection")) {
            http::ForEachListElement(value, [&](std::string_view option) {
                close = close || EqualsNoCase(option, "close");
                keepAliveAsked = keepAliveAsked || EqualsNoCase(option, "keep-alive");
            });
        }
    });
    if (first) {
        refuse("no status line");
    }
    if (found == nullptr && statusLine.status == 101) {
        refuse("a switch of protocols nobody asked for");
    }
    if (found == nullptr && unreadableLength && rule == UnreadableLength::Refuse) {
        refuse("differing or unreadable body lengths");
    }
    if (found != nullptr) {
        if (fault != nullptr) {
            *fault = found;
        }
        return kInetInvalidResponse;
    }
    result.statusText = std::string(statusLine.code);
    result.status = statusLine.status;
    const int minor = statusLine.minor;
    if (http::IsInterimStatus(result.status) || result.status == 204 || result.status == 304) {
        result.framing = BodyFraming::None;
    } else if (transferCoded) {
        result.framing = BodyFraming::Chunked;  // a transfer coding overrides any length
    } else if (length.has_value() && !unreadableLength) {
        result.framing = BodyFraming::Length;
        result.contentLength = *length;
    }
    const bool persistent = minor >= 1 ? !close : keepAliveAsked && !close;
    result.keepAlive = persistent && result.framing != BodyFraming::UntilClose;
    *out = std::move(result);
    return kInetOk;
}

}  // namespace RVUtil::transport

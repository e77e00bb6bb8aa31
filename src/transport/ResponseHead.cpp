#include "transport/ResponseHead.h"

#include <optional>
#include <utility>

#include "http/FieldValues.h"
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

namespace {

// A head read line by line: its status line, then what the header lines say about the
// body's framing and the connection, and the first thing wrong with any of them.
struct HeadLines {
    http::StatusLine statusLine;
    const char* fault = nullptr;
    bool sawStatusLine = false;
    bool sawHeader = false;
    bool ended = false;
    bool transferCoded = false;
    bool close = false;
    bool keepAliveAsked = false;
    std::optional<std::uint64_t> length;
    bool unreadableLength = false;

    void Refuse(const char* why) {
        if (fault == nullptr) {
            fault = why;
        }
    }
    void Take(std::string_view line);
    void Field(std::string_view name, std::string_view value);
};

void HeadLines::Take(std::string_view line) {
    if (ended || fault != nullptr) {
        return;
    }
    if (!sawStatusLine) {
        sawStatusLine = true;
        if (!http::ReadStatusLine(line, &statusLine)) {
            Refuse("not an HTTP/1.0 or 1.1 status line");
        }
        return;
    }
    if (line.empty()) {
        ended = true;
        return;
    }
    const bool first = !std::exchange(sawHeader, true);
    if (const char* why = http::HeaderLineFault(
            line, first ? http::HeaderLinePlace::First : http::HeaderLinePlace::Later)) {
        Refuse(why);
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return;  // a line that continues the one before it
    }
    Field(line.substr(0, colon), line.substr(colon + 1));
}

void HeadLines::Field(std::string_view name, std::string_view value) {
    if (EqualsNoCase(name, "Content-Length")) {
        unreadableLength = unreadableLength || !http::FoldContentLength(value, &length);
    } else if (EqualsNoCase(name, "Transfer-Encoding")) {
        transferCoded = true;
        if (!http::IsChunkedAlone(value)) {
            Refuse("a transfer coding other than chunked alone");
        }
    } else if (EqualsNoCase(name, "Connection")) {
        http::ForEachListElement(value, [this](std::string_view option) {
            close = close || EqualsNoCase(option, "close");
            keepAliveAsked = keepAliveAsked || EqualsNoCase(option, "keep-alive");
        });
    }
}

}  // namespace

InetError ParseResponseHead(std::string_view head, ResponseHead* out, UnreadableLength rule,
                            const char** fault) {
    // The head is read once: the index the fetchers use is built in the pass that checks it.
    HeadLines lines;
    http::ParsedHead parsed(std::string(head),
                            [&lines](std::string_view line) { lines.Take(line); });
    if (!lines.sawStatusLine) {
        lines.Refuse("no status line");
    }
    if (lines.statusLine.status == 101) {
        lines.Refuse("a switch of protocols nobody asked for");
    }
    if (lines.unreadableLength && rule == UnreadableLength::Refuse) {
        lines.Refuse("differing or unreadable body lengths");
    }
    if (lines.fault != nullptr) {
        if (fault != nullptr) {
            *fault = lines.fault;
        }
        return kInetInvalidResponse;
    }
    ResponseHead result;
    result.parsed = std::move(parsed);
    result.status = lines.statusLine.status;
    if (http::IsInterimStatus(result.status) || result.status == 204 || result.status == 304) {
        result.framing = BodyFraming::None;
    } else if (lines.transferCoded) {
        result.framing = BodyFraming::Chunked;  // a transfer coding overrides any length
    } else if (lines.length.has_value() && !lines.unreadableLength) {
        result.framing = BodyFraming::Length;
        result.contentLength = *lines.length;
    }
    const bool persistent =
        lines.statusLine.minor >= 1 ? !lines.close : lines.keepAliveAsked && !lines.close;
    result.keepAlive = persistent && result.framing != BodyFraming::UntilClose;
    *out = std::move(result);
    return kInetOk;
}

}  // namespace RVUtil::transport

#include "transport/ResponseHead.h"

#include <optional>

#include "platform/Ascii.h"

namespace RVUtil::transport {
namespace {

using ascii::EqualsNoCase;
using ascii::IsDigit;

// Calls f with each trimmed, non-empty element of a comma-separated header value.
template <class F>
void forEachToken(std::string_view value, F&& f) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        const std::string_view token = ascii::TrimBlanks(value.substr(0, comma));
        if (!token.empty()) {
            f(token);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        value.remove_prefix(comma + 1);
    }
}

// "HTTP/1.1 200 OK": version digits, blanks, three digits, then the end or a blank.
bool readStatusLine(std::string_view line, int* major, int* minor, std::string* code) {
    if (line.size() < 12 || line.substr(0, 5) != "HTTP/" || !IsDigit(line[5]) || line[6] != '.' ||
        !IsDigit(line[7]) || line[8] != ' ') {
        return false;
    }
    std::size_t i = 8;
    while (i < line.size() && line[i] == ' ') {
        ++i;
    }
    if (i + 3 > line.size() || !IsDigit(line[i]) || !IsDigit(line[i + 1]) ||
        !IsDigit(line[i + 2]) || (i + 3 < line.size() && line[i + 3] != ' ')) {
        return false;
    }
    *major = line[5] - '0';
    *minor = line[7] - '0';
    *code = std::string(line.substr(i, 3));
    return true;
}

// One Content-Length value, possibly a list of equal numbers; folded into *length.
bool readContentLength(std::string_view value, std::optional<std::uint64_t>* length) {
    bool any = false;
    bool ok = true;
    forEachToken(value, [&](std::string_view token) {
        std::uint64_t n = 0;
        for (char c : token) {
            if (!IsDigit(c) || n > (std::uint64_t{1} << 58)) {
                ok = false;
                return;
            }
            n = n * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (length->has_value() && **length != n) {
            ok = false;
        }
        *length = n;
        any = true;
    });
    return ok && any;
}

}  // namespace

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
    int major = 0;
    int minor = 0;
    bool first = true;
    bool chunked = false;
    bool transferCoded = false;
    bool close = false;
    bool keepAliveAsked = false;
    std::optional<std::uint64_t> length;
    bool unreadableLength = false;
    while (!head.empty()) {
        const std::size_t lf = head.find('\n');
        std::string_view line = head.substr(0, lf);
        head.remove_prefix(lf == std::string_view::npos ? head.size() : lf + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (first) {
            if (!readStatusLine(line, &major, &minor, &result.statusText)) {
                return kInetInvalidResponse;
            }
            first = false;
            continue;
        }
        if (line.empty()) {
            break;
        }
        // A line without a colon names nothing; it stays in the raw block and is skipped.
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = line.substr(colon + 1);
        if (EqualsNoCase(name, "Content-Length")) {
            if (!readContentLength(value, &length)) {
                if (rule == UnreadableLength::Refuse) {
                    return kInetInvalidResponse;
                }
                unreadableLength = true;
            }
        } else if (EqualsNoCase(name, "Transfer-Encoding")) {
            forEachToken(value, [&](std::string_view coding) {
                transferCoded = true;
                chunked = EqualsNoCase(coding, "chunked");
            });
        } else if (EqualsNoCase(name, "Connection")) {
            forEachToken(value, [&](std::string_view option) {
                close = close || EqualsNoCase(option, "close");
                keepAliveAsked = keepAliveAsked || EqualsNoCase(option, "keep-alive");
            });
        }
    }
    if (first) {
        return kInetInvalidResponse;
    }
    result.status = std::stoi(result.statusText);
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

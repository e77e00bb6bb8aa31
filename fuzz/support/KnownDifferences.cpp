#include "KnownDifferences.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "http/HeaderLines.h"
#include "platform/Ascii.h"

namespace rvfuzz::known {
namespace {

using RVUtil::ErrorCode;
using RVUtil::ascii::EqualsNoCase;
using RVUtil::ascii::IsBlank;
using RVUtil::ascii::IsDigit;
using RVUtil::ascii::TrimBlanks;

// A response's head as the fetchers' lines: the status line, the header lines, and whether
// an empty line ended it; then the body.
struct Head {
    bool statusEnded = false;
    std::string_view status;
    std::vector<std::string_view> lines;
    bool ended = false;
    std::string_view body;
};

Head HeadOf(std::string_view response) {
    Head head;
    RVUtil::http::ForEachHeaderLine(response, [&](std::string_view line) {
        if (head.ended) {
            return;
        }
        if (!head.statusEnded) {
            head.statusEnded = true;
            head.status = line;
        } else if (line.empty()) {
            head.ended = true;
            head.body = response.substr(response.find('\n', line.data() - response.data()) + 1);
        } else {
            head.lines.push_back(line);
        }
    });
    return head;
}

// The values of every header line of that name, each split at its commas and trimmed.
std::vector<std::string_view> ValuesOf(const Head& head, std::string_view name) {
    std::vector<std::string_view> values;
    for (const std::string_view line : head.lines) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !EqualsNoCase(line.substr(0, colon), name)) {
            continue;
        }
        std::string_view value = line.substr(colon + 1);
        for (std::size_t comma; (comma = value.find(',')) != std::string_view::npos;) {
            values.push_back(TrimBlanks(value.substr(0, comma)));
            value.remove_prefix(comma + 1);
        }
        values.push_back(TrimBlanks(value));
    }
    return values;
}

template <class Pred>
bool AnyLine(const Head& head, Pred pred) {
    return std::any_of(head.lines.begin(), head.lines.end(), pred);
}

// The three bytes after the status line's first space.
std::string_view StatusCodeOf(const Head& head) {
    const std::size_t space = head.status.find(' ');
    return space == std::string_view::npos ? std::string_view() : head.status.substr(space + 1, 3);
}

bool IsPlainStatusLine(std::string_view status) {
    if (status.size() < 12 ||
        (status.substr(0, 9) != "HTTP/1.1 " && status.substr(0, 9) != "HTTP/1.0 ")) {
        return false;
    }
    const std::string_view code = status.substr(9, 3);
    return std::all_of(code.begin(), code.end(), IsDigit) && code[0] != '0' &&
           (status.size() == 12 || status[12] == ' ');
}

struct Entry {
    const char* what;
    std::function<bool(const Head&, ErrorCode curl, ErrorCode own)> explains;
};

// Each with the smallest input known to show it and the two answers (curl; own).
const Entry kEntries[] = {
    // "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 4\r\n\r\nhello":
    // ERR_OK "hell"; ERR_REQUEST.
    {"Content-Length values that differ (two lines, or a list)",
     [](const Head& head, ErrorCode, ErrorCode) {
         const auto values = ValuesOf(head, "Content-Length");
         return std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) !=
                values.end();
     }},
    // "HTTP/1.1 103 Early Hints\r\nRV_Error: early\r\n\r\nHTTP/1.1 200 OK\r\n
    // Content-Length: 2\r\n\r\nok": ERR_SERVER_VERDICT "early"; ERR_OK "ok".
    {"header lines of an interim 1xx response taken as the final one's",
     [](const Head& head, ErrorCode, ErrorCode) {
         const std::string_view code = StatusCodeOf(head);
         return code.starts_with('1') && code != "101";
     }},
    // "HTTP/1.1 101 Switching Protocols\r\nContent-Length: 0\r\n\r\n": ERR_REQUEST;
    // "Status = 101!". With a byte after the head both answer "Status = 101!".
    {"a 101 answer with nothing after its head",
     [](const Head& head, ErrorCode, ErrorCode) {
         return head.ended && head.body.empty() && StatusCodeOf(head) == "101";
     }},
    // "HTTP/1.1 200 OK\r\nContent-Length: 3x\r\n\r\ntwo": ERR_OK "two"; ERR_REQUEST.
    {"a Content-Length value that is not digits alone",
     [](const Head& head, ErrorCode, ErrorCode) {
         const auto values = ValuesOf(head, "Content-Length");
         return std::any_of(values.begin(), values.end(), [](std::string_view value) {
             return !std::all_of(value.begin(), value.end(), IsDigit);
         });
     }},
    // "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nWiki": ERR_REQUEST; ERR_OK "Wiki".
    {"a transfer coding other than chunked alone",
     [](const Head& head, ErrorCode, ErrorCode) {
         const auto values = ValuesOf(head, "Transfer-Encoding");
         return values.size() > 1 || (values.size() == 1 && !EqualsNoCase(values[0], "chunked"));
     }},
    // "HTTP/1.2 200 OK\r\nContent-Length: 2\r\n\r\nok": ERR_REQUEST; ERR_OK "ok". Also
    // "HTTP/2 200", "HTTP/1.1 200OK", "http/1.1 200 OK" (ERR_OK; ERR_REQUEST) and
    // "HTTP/1.1 099 OK" (ERR_REQUEST; "Status = 99!").
    {"a status line other than HTTP/1.0 or 1.1, a space, a status of 100 to 999 and a reason",
     [](const Head& head, ErrorCode, ErrorCode) {
         return head.statusEnded && !IsPlainStatusLine(head.status);
     }},
    // "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4x\r\nWiki\r\n0\r\n\r\n": ERR_OK
    // "Wiki"; ERR_REQUEST.
    {"a chunk size followed by a byte other than ';', a blank or the line's end (a bare CR too)",
     [](const Head& head, ErrorCode, ErrorCode) {
         const auto codings = ValuesOf(head, "Transfer-Encoding");
         bool found = false;
         RVUtil::http::ForEachHeaderLine(head.body, [&found](std::string_view line) {
             const std::size_t end = line.find_first_not_of("0123456789abcdefABCDEF");
             found |= end != 0 && end != std::string_view::npos &&
                      std::string_view("; \t").find(line[end]) == std::string_view::npos;
         });
         return !codings.empty() && found;
     }},
    // "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n0\r\nRV_Error: late\r\n
    // \r\n": ERR_SERVER_VERDICT "late"; ERR_OK "Wiki". The curl fetcher takes the trailer's
    // lines as header lines (VR_Expired too) and fails on those it cannot read ("nocolon",
    // a NUL, a bare CR); the own fetcher skips them.
    {"a trailer after the last chunk",
     [](const Head& head, ErrorCode, ErrorCode) {
         bool lastChunk = false;
         bool found = false;
         RVUtil::http::ForEachHeaderLine(head.body, [&](std::string_view line) {
             found |= lastChunk && !line.empty();
             const std::size_t end = line.find_first_not_of('0');
             lastChunk =
                 end != 0 && (end == std::string_view::npos ||
                              std::string_view("; \t").find(line[end]) != std::string_view::npos);
         });
         return !ValuesOf(head, "Transfer-Encoding").empty() && found;
     }},
    // "HTTP/1.1 200 OK\r\n x\r\nContent-Length: 2\r\n\r\nok": ERR_REQUEST; ERR_OK "ok".
    {"a first header line that starts with a space or a tab",
     [](const Head& head, ErrorCode, ErrorCode) {
         return !head.lines.empty() && IsBlank(head.lines.front().front());
     }},
    // "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nnocolon\r\n\r\nok": ERR_REQUEST; ERR_OK "ok".
    {"a header line without a colon",
     [](const Head& head, ErrorCode, ErrorCode) {
         return AnyLine(head, [](std::string_view line) {
             return !IsBlank(line.front()) && line.find(':') == std::string_view::npos;
         });
     }},
    // "HTTP/1.1 200 OK\r\nX: a\0b\r\n\r\nshort": ERR_REQUEST; ERR_OK "short". With the NUL
    // first on its line: ERR_OK and no body; ERR_OK "short".
    {"a NUL byte in the head",
     [](const Head& head, ErrorCode, ErrorCode) {
         return head.status.find('\0') != std::string_view::npos ||
                AnyLine(head, [](std::string_view line) {
                    return line.find('\0') != std::string_view::npos;
                });
     }},
    // "HTTP/1.1 200 OK\r\nX\rY: 1\r\n\r\nok": ERR_REQUEST; ERR_OK "ok". With the CR first
    // ("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\rX: 1\r\n\r\nok") the head ends there for
    // one: ERR_OK "\r\n"; ERR_OK "ok".
    {"a CR before the colon of a header line",
     [](const Head& head, ErrorCode, ErrorCode) {
         return AnyLine(head,
                        [](std::string_view line) { return line.find('\r') < line.find(':'); });
     }},
    // "HTTP/1.1 200 OK\r\n": ERR_OK and an empty body; ERR_REQUEST.
    {"a head that the close cuts short after its status line",
     [](const Head& head, ErrorCode, ErrorCode) { return head.statusEnded && !head.ended; }},
    // "HTTP/1.1 404 Not Found\r\nContent-Length: 1\r\n\r\n": ERR_REQUEST; "Status = 404!"
    // (the own fetcher reads no body of an answer other than 200).
    {"an answer other than 200 whose body the close cuts short",
     [](const Head&, ErrorCode curl, ErrorCode own) {
         return curl == RVUtil::ERR_REQUEST && own == RVUtil::ERR_HTTP_STATUS;
     }},
};

}  // namespace

const char* Difference(std::string_view response, ErrorCode curl, ErrorCode own) {
    const Head head = HeadOf(response);
    for (const Entry& entry : kEntries) {
        if (entry.explains(head, curl, own)) {
            return entry.what;
        }
    }
    return nullptr;
}

bool RepeatedPost(std::string_view response, bool firstOnKeptConnection) {
    // "+HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody@@next@@!": both fetchers send the
    // POST again. The curl fetcher does so after a first line cut short too ("...@@next@@!H").
    return firstOnKeptConnection && response.find('\n') == std::string_view::npos;
}

}  // namespace rvfuzz::known

#include "http/StatusLine.h"

#include "platform/Ascii.h"

namespace RVUtil::http {

bool ReadStatusLine(std::string_view line, StatusLine* out) {
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

const char* HeaderLineFault(std::string_view line, HeaderLinePlace place) {
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

}  // namespace RVUtil::http

#include "http/StatusLine.h"

#include "platform/Ascii.h"

namespace RVUtil::http {

bool ReadStatusLine(std::string_view line, StatusLine* out) {
    using ascii::IsDigit;
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
    out->major = line[5] - '0';
    out->minor = line[7] - '0';
    out->code = line.substr(i, 3);
    out->status = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
    out->reason = i + 4 < line.size() ? line.substr(i + 4) : std::string_view();
    return true;
}

}  // namespace RVUtil::http

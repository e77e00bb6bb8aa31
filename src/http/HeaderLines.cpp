#include "http/HeaderLines.h"

#include "http/HeaderPairs.h"

namespace RVUtil::http {

bool RecordHeaderLine(std::string_view line, CStringArray& pairs) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= line.size() ||
        line[colon + 1] != ' ') {
        return false;
    }
    AppendPair(pairs, CString(line.substr(0, colon)), CString(line.substr(colon + 2)));
    return true;
}

void RecordHeaderLines(std::string_view block, CStringArray& pairs) {
    ForEachHeaderLine(block, [&pairs](std::string_view line) { RecordHeaderLine(line, pairs); });
}

}  // namespace RVUtil::http

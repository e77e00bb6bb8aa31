#include "http/HeaderLines.h"

#include "http/HeaderPairs.h"
#include "platform/Ascii.h"

namespace RVUtil::http {

namespace {

// A line as RecordHeaderLine takes it: the name before the first colon, the value after the
// one space that must follow; false for any other line.
bool SplitRecordedLine(std::string_view line, std::string_view* name, std::string_view* value) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= line.size() ||
        line[colon + 1] != ' ') {
        return false;
    }
    *name = line.substr(0, colon);
    *value = line.substr(colon + 2);
    return true;
}

}  // namespace

bool RecordHeaderLine(std::string_view line, CStringArray& pairs) {
    std::string_view name;
    std::string_view value;
    if (!SplitRecordedLine(line, &name, &value)) {
        return false;
    }
    AppendPair(pairs, CString(name), CString(value));
    return true;
}

std::optional<std::string_view> FindRecordedValue(std::string_view block, std::string_view name) {
    std::optional<std::string_view> found;
    ForEachHeaderLine(block, [&](std::string_view line) {
        std::string_view lineName;
        std::string_view value;
        if (!found && SplitRecordedLine(line, &lineName, &value) &&
            ascii::EqualsNoCase(lineName, name)) {
            found = value;
        }
    });
    return found;
}

void RecordHeaderLines(std::string_view block, CStringArray& pairs) {
    ForEachHeaderLine(block, [&pairs](std::string_view line) { RecordHeaderLine(line, pairs); });
}

}  // namespace RVUtil::http

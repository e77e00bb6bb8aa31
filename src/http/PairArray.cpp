#include "http/PairArray.h"

namespace RVUtil::http {

void AppendPair(CStringArray& pairs, const CString& name, const CString& value) {
    pairs.Add(name);
    try {
        pairs.Add(value);
    } catch (...) {
        pairs.RemoveAt(pairs.GetUpperBound());
        throw;
    }
}

bool RecordHeaderLine(std::string_view line, CStringArray& pairs) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    const HeaderField field{line.substr(0, colon), line.substr(colon + 1)};
    const auto value = RecordedValue(field);
    if (!value) {
        return false;
    }
    AppendPair(pairs, CString(field.name), CString(*value));
    return true;
}

void RecordFields(const HeadView& head, CStringArray& pairs) {
    for (std::size_t i = 0; i < head.FieldCount(); ++i) {
        const HeaderField field = head.Field(i);
        if (const auto value = RecordedValue(field)) {
            AppendPair(pairs, CString(field.name), CString(*value));
        }
    }
}

}  // namespace RVUtil::http

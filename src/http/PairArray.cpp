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
    head.ForEachRecorded([&pairs](std::string_view name, std::string_view value) {
        AppendPair(pairs, CString(name), CString(value));
    });
}

CString FindResponseValue(const CStringArray& pairs, const CString& name) {
    CString found;
    ForEachPair(pairs, [&](INT_PTR, const CString& each, const CString& value) {
        if (each.CompareNoCase(name) != 0) {
            return true;
        }
        found = value;
        return false;
    });
    return found;
}

HeaderList HeaderListOf(const CStringArray& pairs) {
    HeaderList list;
    list.reserve(static_cast<std::size_t>(pairs.GetSize() / 2));
    ForEachPair(pairs, [&list](INT_PTR, const CString& name, const CString& value) {
        list.push_back(HeaderPair{std::string(name.str()), std::string(value.str())});
        return true;
    });
    return list;
}

CStringArray PairArrayOf(const HeaderList& pairs) {
    CStringArray array;
    for (const HeaderPair& pair : pairs) {
        AppendPair(array, CString(pair.name), CString(pair.value));
    }
    return array;
}

}  // namespace RVUtil::http

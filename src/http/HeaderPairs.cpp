#include "http/HeaderPairs.h"

#include <algorithm>

#include "platform/Ascii.h"
#include "platform/FormatText.h"

namespace RVUtil::http {

const char* RefusalReason(HeaderRefusal refusal) {
    switch (refusal) {
        case HeaderRefusal::EmptyName:
            return "empty name";
        case HeaderRefusal::NameNotToken:
            return "colon, blank or control character in the name";
        case HeaderRefusal::LineBreakOrNul:
            return "CR, LF or NUL in the value";
        case HeaderRefusal::None:
            break;
    }
    return "";
}

std::optional<std::string> RefusedHeaderRecord(const char* name, const char* value) {
    const HeaderRefusal refusal =
        CheckRequestHeader(name != nullptr ? name : "", value != nullptr ? value : "");
    if (refusal == HeaderRefusal::None) {
        return std::nullopt;
    }
    const char* shown = name != nullptr && name[0] != '\0' ? name : "-";
    return platform::FormatText(kHeaderRefusedRecord, RefusalReason(refusal), shown);
}

HeaderRefusal CheckRequestHeader(std::string_view name, std::string_view value) {
    if (name.empty()) {
        return HeaderRefusal::EmptyName;
    }
    for (const char c : name) {
        if (c == ':' || ascii::IsBlank(c) || ascii::IsControl(c)) {
            return HeaderRefusal::NameNotToken;
        }
    }
    for (const char c : value) {
        if (c == '\r' || c == '\n' || c == '\0') {
            return HeaderRefusal::LineBreakOrNul;
        }
    }
    return HeaderRefusal::None;
}

INT_PTR FindRequestPair(const CStringArray& pairs, const CString& name) {
    INT_PTR found = -1;
    ForEachPair(pairs, [&](INT_PTR at, const CString& each, const CString&) {
        found = each == name ? at : -1;
        return found < 0;
    });
    return found;
}

INT_PTR SetRequestPair(CStringArray& pairs, const CString& name, const CString& value) {
    const INT_PTR at = FindRequestPair(pairs, name);
    if (at >= 0) {
        pairs.SetAt(at + 1, value);
        return at;
    }
    AppendPair(pairs, name, value);
    return pairs.GetSize() - 2;
}

CStringArray MergeFetchHeaders(const CStringArray& own,
                               const std::vector<std::pair<std::string, std::string>>& fetch,
                               const std::vector<std::string>& removed,
                               std::vector<bool>* fromFetch) {
    std::vector<bool> used(fetch.size(), false);
    std::vector<bool> origins;
    CStringArray merged;
    ForEachPair(own, [&](INT_PTR, const CString& ownName, const CString& ownValue) {
        const std::string_view name = ownName.str();
        if (std::any_of(removed.begin(), removed.end(),
                        [&](const std::string& gone) { return ascii::EqualsNoCase(gone, name); })) {
            return true;
        }
        std::size_t replacement = 0;
        while (replacement < fetch.size() &&
               (used[replacement] || !ascii::EqualsNoCase(fetch[replacement].first, name))) {
            ++replacement;
        }
        if (replacement < fetch.size()) {
            used[replacement] = true;
            AppendPair(merged, CString(fetch[replacement].first),
                       CString(fetch[replacement].second));
        } else {
            AppendPair(merged, ownName, ownValue);
        }
        origins.push_back(replacement < fetch.size());
        return true;
    });
    for (std::size_t i = 0; i < fetch.size(); ++i) {
        if (!used[i]) {
            AppendPair(merged, CString(fetch[i].first), CString(fetch[i].second));
            origins.push_back(true);
        }
    }
    if (fromFetch != nullptr) {
        *fromFetch = std::move(origins);
    }
    return merged;
}

bool RemoveRequestPair(CStringArray& pairs, const CString& name) {
    const INT_PTR at = FindRequestPair(pairs, name);
    if (at < 0) {
        return false;
    }
    pairs.RemoveAt(at, 2);
    return true;
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

}  // namespace RVUtil::http

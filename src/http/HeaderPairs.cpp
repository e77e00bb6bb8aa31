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

std::size_t FindRequestPair(const HeaderList& pairs, std::string_view name) {
    const auto found = std::find_if(pairs.begin(), pairs.end(),
                                    [name](const HeaderPair& each) { return each.name == name; });
    return static_cast<std::size_t>(found - pairs.begin());
}

void SetRequestPair(HeaderList& pairs, std::string_view name, std::string_view value) {
    const std::size_t at = FindRequestPair(pairs, name);
    if (at < pairs.size()) {
        pairs[at].value.assign(value);
    } else {
        pairs.push_back(HeaderPair{std::string(name), std::string(value)});
    }
}

HeaderList MergeFetchHeaders(HeaderList own,
                             const std::vector<std::pair<std::string, std::string>>& fetch,
                             const std::vector<std::string>& removed,
                             std::vector<bool>* fromFetch) {
    std::vector<bool> used(fetch.size(), false);
    std::vector<bool> origins;
    HeaderList merged;
    merged.reserve(own.size() + fetch.size());
    for (HeaderPair& pair : own) {
        if (std::any_of(removed.begin(), removed.end(), [&](const std::string& gone) {
                return ascii::EqualsNoCase(gone, pair.name);
            })) {
            continue;
        }
        std::size_t replacement = 0;
        while (replacement < fetch.size() &&
               (used[replacement] || !ascii::EqualsNoCase(fetch[replacement].first, pair.name))) {
            ++replacement;
        }
        if (replacement < fetch.size()) {
            used[replacement] = true;
            merged.push_back(HeaderPair{fetch[replacement].first, fetch[replacement].second});
        } else {
            merged.push_back(std::move(pair));
        }
        origins.push_back(replacement < fetch.size());
    }
    for (std::size_t i = 0; i < fetch.size(); ++i) {
        if (!used[i]) {
            merged.push_back(HeaderPair{fetch[i].first, fetch[i].second});
            origins.push_back(true);
        }
    }
    if (fromFetch != nullptr) {
        *fromFetch = std::move(origins);
    }
    return merged;
}

bool RemoveRequestPair(HeaderList& pairs, std::string_view name) {
    const std::size_t at = FindRequestPair(pairs, name);
    if (at == pairs.size()) {
        return false;
    }
    pairs.erase(pairs.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

void RecordFields(const HeadView& head, HeaderList& pairs) {
    head.ForEachRecorded([&pairs](std::string_view name, std::string_view value) {
        pairs.push_back(HeaderPair{std::string(name), std::string(value)});
    });
}

std::string_view FindResponseValue(const HeaderList& pairs, std::string_view name) {
    const std::string_view wanted = name.substr(0, name.find('\0'));
    for (const HeaderPair& each : pairs) {
        const std::string_view held(each.name.c_str());
        if (ascii::EqualsNoCase(held, wanted)) {
            return each.value;
        }
    }
    return {};
}

}  // namespace RVUtil::http

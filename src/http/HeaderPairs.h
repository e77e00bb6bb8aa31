#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/PairArray.h"

// The rules of the header lists both fetchers keep (PairArray.h): request headers are the
// caller's (names compared with letter case); response headers are the server's (looked up
// without it).
namespace RVUtil::http {

enum class HeaderRefusal {
    None,
    EmptyName,
    NameNotToken,    // a colon, a blank or a control character in the name
    LineBreakOrNul,  // CR, LF or NUL in the value: it would end the line early
};

// Why the pair may not go on the wire, or None. Every byte of a request header line comes
// from the caller; refusing these keeps a value from ending its line and starting another
// header, or another request.
HeaderRefusal CheckRequestHeader(std::string_view name, std::string_view value);

// The WARNING record a fetcher writes for a refused pair: the reason in words
// (RefusalReason), then the header's name ("-" for an empty one; the log escapes control
// characters, so the record stays one line whatever the name holds). A fixed text: hosts
// and their log readers match on it.
inline constexpr const char* kHeaderRefusedRecord = "Request header refused (%s): %s";
const char* RefusalReason(HeaderRefusal refusal);
// For a caller's AddHeader (null counts as empty): the text of the WARNING record its pair
// gets when it is refused (kHeaderRefusedRecord filled in, "-" for an empty name), or none
// when the pair may be stored.
std::optional<std::string> RefusedHeaderRecord(const char* name, const char* value);

// Index of the first pair whose name equals name exactly (letter case counts), or -1.
INT_PTR FindRequestPair(const CStringArray& pairs, const CString& name);

// Stores the pair: the value of the first pair with an equal name is replaced, otherwise
// the pair goes to the end. Returns the index of the name. Raises only for lack of memory,
// and then leaves pairs as they were.
INT_PTR SetRequestPair(CStringArray& pairs, const CString& name, const CString& value);

// The pairs a request of a fetch sends: the fetcher's own, each replaced by the fetch's own
// header of the same name (letter case ignored) where it has one and left out where the
// fetch removes that name, then the fetch's other headers in their order. fromFetch, when
// given, tells for each pair whether it is the fetch's. Raises only for lack of memory.
CStringArray MergeFetchHeaders(const CStringArray& own,
                               const std::vector<std::pair<std::string, std::string>>& fetch,
                               const std::vector<std::string>& removed,
                               std::vector<bool>* fromFetch = nullptr);

// Removes the first pair whose name equals name exactly; false when there is none.
bool RemoveRequestPair(CStringArray& pairs, const CString& name);

// Value of the first pair whose name equals name without regard to ASCII letter case, or
// an empty string.
CString FindResponseValue(const CStringArray& pairs, const CString& name);

}  // namespace RVUtil::http

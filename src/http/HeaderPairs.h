#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/ParsedHead.h"

// The rules of the header lists both fetchers keep: request headers are the caller's (names
// compared with letter case); response headers are the server's (looked up without it). The
// exported classes hold such lists as CStringArrays; PairArray.h turns one into the other.
namespace RVUtil::http {

// One header of a list: its name and value, as the caller gave them or as recorded.
struct HeaderPair {
    std::string name;
    std::string value;

    bool operator==(const HeaderPair&) const = default;
};
using HeaderList = std::vector<HeaderPair>;

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

// Index of the first pair whose name equals name exactly (letter case counts), or the size
// of pairs when there is none.
std::size_t FindRequestPair(const HeaderList& pairs, std::string_view name);

// Stores the pair: the value of the first pair with an equal name is replaced, otherwise
// the pair goes to the end. Raises only for lack of memory, and then leaves pairs as they
// were.
void SetRequestPair(HeaderList& pairs, std::string_view name, std::string_view value);

// The pairs a request of a fetch sends: the fetcher's own, each replaced by the fetch's own
// header of the same name (letter case ignored) where it has one and left out where the
// fetch removes that name, then the fetch's other headers in their order. fromFetch, when
// given, tells for each pair whether it is the fetch's. Raises only for lack of memory.
HeaderList MergeFetchHeaders(HeaderList own,
                             const std::vector<std::pair<std::string, std::string>>& fetch,
                             const std::vector<std::string>& removed,
                             std::vector<bool>* fromFetch = nullptr);

// Removes the first pair whose name equals name exactly; false when there is none.
bool RemoveRequestPair(HeaderList& pairs, std::string_view name);

// Records every field of head that has a RecordedValue in pairs, in order. Raises only for
// lack of memory; the pairs recorded until then stay.
void RecordFields(const HeadView& head, HeaderList& pairs);

// Value of the first pair whose name equals name without regard to ASCII letter case, or
// an empty view. Names compare up to a NUL in them, as the exported lookups always have.
std::string_view FindResponseValue(const HeaderList& pairs, std::string_view name);

}  // namespace RVUtil::http

#pragma once

#include <string_view>

#include "RVUtil/CString.h"
#include "RVUtil/CStringArray.h"
#include "http/HeaderPairs.h"
#include "http/ParsedHead.h"

// The header lists the exported fetchers keep: CStringArrays of pairs, a name at each even
// index and its value at the next odd one. The rest of the library speaks standard C++
// (HeaderList); this is where its lists and heads become such arrays and back, and where
// every walk over an array's pairs happens.
namespace RVUtil::http {

// Calls pair(at, name, value) for each whole pair of pairs in order from the name at index
// first (an even one), at being the index of the name, until it returns false. A last name
// without its value is no pair.
template <class PairFn>
void ForEachPair(const CStringArray& pairs, PairFn&& pair, INT_PTR first = 0) {
    for (INT_PTR i = first; i + 1 < pairs.GetSize(); i += 2) {
        if (!pair(i, pairs[i], pairs[i + 1])) {
            return;
        }
    }
}

// Adds the pair at the end. Raises only for lack of memory, and then leaves pairs as they
// were: never a name without its value.
void AppendPair(CStringArray& pairs, const CString& name, const CString& value);

// Records one line of a head ("Name: value", see RecordedValue) in pairs; false, with
// nothing recorded, for a line that has no RecordedValue. Raises only for lack of memory,
// and then leaves pairs as they were.
bool RecordHeaderLine(std::string_view line, CStringArray& pairs);

// Records every field of head that has a RecordedValue in pairs, in order. Raises only for
// lack of memory; the pairs recorded until then stay.
void RecordFields(const HeadView& head, CStringArray& pairs);

// Value of the first pair whose name equals name without regard to ASCII letter case, or
// an empty string: FindHeader's rule.
CString FindResponseValue(const CStringArray& pairs, const CString& name);

// The whole pairs of an array as a list, and a list as an array. Raise only for lack of
// memory.
HeaderList HeaderListOf(const CStringArray& pairs);
CStringArray PairArrayOf(const HeaderList& pairs);
}  // namespace RVUtil::http

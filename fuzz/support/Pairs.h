#pragma once

#include <string_view>

#include "RVUtil/CStringArray.h"
#include "http/PairArray.h"

// Header pairs as both fetchers record them from a raw block, for comparing two readings.
namespace rvfuzz {

inline CStringArray RecordedPairs(std::string_view block) {
    RVUtil::http::HeadIndex index;
    index.Read(block);
    CStringArray pairs;
    RVUtil::http::RecordFields(RVUtil::http::HeadView(block, index), pairs);
    return pairs;
}

inline bool SamePairs(const CStringArray& a, const CStringArray& b) {
    if (a.GetSize() != b.GetSize()) {
        return false;
    }
    for (INT_PTR i = 0; i < a.GetSize(); ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace rvfuzz

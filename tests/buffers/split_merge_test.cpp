// Splitting into the four container types and merging back: what the split fuzz target,
// which judges every form against a reference split, does not see (containers that already
// hold items, merging arrays and lists, numbers).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RVUtil/SplitMerge.h"

namespace RVUtil::test {
namespace {

using Strings = std::vector<std::string>;

template <class Container>
Strings Fields(const Container& c) {
    Strings out;
    for (const CString& s : c) {
        out.push_back(s.str());
    }
    return out;
}
template <>
Strings Fields(const CStringList& l) {
    Strings out;
    for (POSITION pos = l.GetHeadPosition(); pos != nullptr;) {
        out.push_back(l.GetNext(pos).str());
    }
    return out;
}

// A container that already holds items is emptied first.
TEST(SplitTest, ReplacesWhatTheContainerHeld) {
    std::vector<CString> vec{"old"};
    CStringArray arr;
    CStringList list;
    CUIntArray numbers;
    arr.Add("old");
    list.AddTail("old");
    numbers.Add(99);
    RVUtil_gfnSplit(",a,,b,", vec, ',', 0);
    RVUtil_gfnSplit(",a,,b,", arr, ',');
    RVUtil_gfnSplit(",a,,b,", list, ',');
    RVUtil_gfnSplit("1,2", numbers, ',');
    for (const Strings& got : {Fields(vec), Fields(arr), Fields(list)}) {
        EXPECT_EQ(got, (Strings{"a", "b"}));
    }
    EXPECT_EQ(std::vector<UINT>(numbers.begin(), numbers.end()), (std::vector<UINT>{1, 2}));
}

TEST(MergeTest, DelimitersGoOnlyBetweenElementsAndZeroBytesEndThem) {
    const struct {
        Strings items;
        char delim;
        const char* expected;
    } cases[] = {
        {{}, ',', ""},
        {{"head", "", "tail"}, ',', "head,,tail"},
        {{std::string("ab\0cd", 5), "e"}, ',', "ab,e"},
    };
    for (const auto& c : cases) {
        std::vector<CString> vec;
        CStringArray arr;
        CStringList list;
        for (const std::string& item : c.items) {
            vec.emplace_back(item);
            arr.Add(CString(item));
            list.AddTail(CString(item));
        }
        EXPECT_EQ(RVUtil_gfnMerge(vec, c.delim), c.expected) << "vector";
        EXPECT_EQ(RVUtil_gfnMerge(arr, c.delim), c.expected) << "array";
        EXPECT_EQ(RVUtil_gfnMerge(list, c.delim), c.expected) << "list";
    }
    CUIntArray numbers;
    for (UINT v : {4294967295u, 5u, 2147483648u}) {
        numbers.Add(v);
    }
    EXPECT_EQ(RVUtil_gfnMerge(numbers, ','), "-1,5,-2147483648");
}

}  // namespace
}  // namespace RVUtil::test

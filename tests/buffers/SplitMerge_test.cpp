// Splitting delimited text into the four container types and merging it back. The split
// fuzz target compares every form against a reference split; these are the named edge
// cases and what it does not see (containers that already hold items, merging arrays and
// lists).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RVUtil/SplitMerge.h"

namespace RVUtil::test {
namespace {

using Strings = std::vector<std::string>;

template <class Container>
Strings fields(const Container& c) {
    Strings out;
    for (const CString& s : c) {
        out.push_back(s.str());
    }
    return out;
}
template <>
Strings fields(const CStringList& l) {
    Strings out;
    for (POSITION pos = l.GetHeadPosition(); pos != nullptr;) {
        out.push_back(l.GetNext(pos).str());
    }
    return out;
}

// Every string container, already holding an item, splits src the same way.
TEST(SplitTest, ReplacesTheContentWithTheNonEmptyFields) {
    const struct {
        CString src;
        char delim;
        Strings expected;
    } cases[] = {
        {",a,,b,", ',', {"a", "b"}},
        {",,,", ',', {}},
        {CString(std::string("a,b\0,c,d", 8)), ',', {"a", "b"}},  // a zero byte ends the text
        {"a,b", '\0', {"a,b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.src.GetString());
        std::vector<CString> vec{"old"};
        RVUtil_gfnSplit(c.src, vec, c.delim, 0);
        EXPECT_EQ(fields(vec), c.expected);
        CStringArray arr;
        arr.Add("old");
        RVUtil_gfnSplit(c.src, arr, c.delim);
        EXPECT_EQ(fields(arr), c.expected);
        CStringList list;
        list.AddTail("old");
        RVUtil_gfnSplit(c.src, list, c.delim);
        EXPECT_EQ(fields(list), c.expected);
    }
    std::vector<CString> vec{"old"};
    RVUtil_gfnSplit(",a,,b,", vec, ',', 1);
    EXPECT_EQ(fields(vec), (Strings{"", "a", "", "b"}));
    CUIntArray numbers;
    numbers.Add(99);
    RVUtil_gfnSplit("15x5-1", numbers, '5');  // the delimiter is cut off before a field is read
    EXPECT_EQ(std::vector<UINT>(numbers.begin(), numbers.end()),
              (std::vector<UINT>{1, 0, 4294967295u}));
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
        {{"first", "second"}, '\0', "first"},
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

// Splitting delimited text into the four container types and merging it back.
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
std::vector<UINT> numbers(const CUIntArray& a) {
    return std::vector<UINT>(a.begin(), a.end());
}

// Every string container splits src the same way (without keeping empty fields).
void expectSplitEverywhere(const CString& src, char delim, const Strings& expected) {
    std::vector<CString> vec{"old"};
    RVUtil_gfnSplit(src, vec, delim, 0);
    EXPECT_EQ(fields(vec), expected) << "vector: " << src.GetString();
    CStringArray arr;
    arr.Add("old");
    RVUtil_gfnSplit(src, arr, delim);
    EXPECT_EQ(fields(arr), expected) << "array: " << src.GetString();
    CStringList list;
    list.AddTail("old");
    RVUtil_gfnSplit(src, list, delim);
    EXPECT_EQ(fields(list), expected) << "list: " << src.GetString();
}

TEST(SplitTest, FieldsInOrderWithEmptyOnesSkipped) {
    expectSplitEverywhere("a,b,c", ',', {"a", "b", "c"});
    expectSplitEverywhere(",a,,b,", ',', {"a", "b"});
    expectSplitEverywhere("", ',', {});
    expectSplitEverywhere(",,,", ',', {});
    expectSplitEverywhere("no delimiter here", ',', {"no delimiter here"});
    expectSplitEverywhere(" spaced | kept ", '|', {" spaced ", " kept "});
    // Only the text before a zero byte counts.
    expectSplitEverywhere(CString(std::string("a,b\0,c,d", 8)), ',', {"a", "b"});
    // A zero delimiter makes the whole text one field.
    expectSplitEverywhere("a,b", '\0', {"a,b"});
}

TEST(SplitTest, KeepEmptyKeepsInnerEmptyFieldsOnly) {
    std::vector<CString> vec;
    RVUtil_gfnSplit(",a,,b,", vec, ',', 1);
    EXPECT_EQ(fields(vec), (Strings{"", "a", "", "b"}));
    RVUtil_gfnSplit("", vec, ',', 1);
    EXPECT_TRUE(vec.empty());
    RVUtil_gfnSplit(";;", vec, ';', 1);
    EXPECT_EQ(fields(vec), (Strings{"", ""}));
}

TEST(SplitTest, NumbersAreReadAsDecimalIntsAndKeptAsTheir32BitPattern) {
    CUIntArray arr;
    arr.Add(99);
    RVUtil_gfnSplit("10,x,-1, 7", arr, ',');
    EXPECT_EQ(numbers(arr), (std::vector<UINT>{10, 0, 4294967295u, 7}));
    RVUtil_gfnSplit(",12abc,,+3,4294967295,", arr, ',');
    EXPECT_EQ(numbers(arr), (std::vector<UINT>{12, 3, 4294967295u}));
    // The delimiter is cut off before a field is read, even when it is a digit.
    RVUtil_gfnSplit("152535", arr, '5');
    EXPECT_EQ(numbers(arr), (std::vector<UINT>{1, 2, 3}));
}

// Every string container merges items the same way.
void expectMergeEverywhere(const Strings& items, char delim, const char* expected) {
    std::vector<CString> vec;
    CStringArray arr;
    CStringList list;
    for (const std::string& item : items) {
        vec.emplace_back(item);
        arr.Add(CString(item));
        list.AddTail(CString(item));
    }
    EXPECT_EQ(RVUtil_gfnMerge(vec, delim), expected) << "vector";
    EXPECT_EQ(RVUtil_gfnMerge(arr, delim), expected) << "array";
    EXPECT_EQ(RVUtil_gfnMerge(list, delim), expected) << "list";
}

TEST(MergeTest, DelimitersGoOnlyBetweenElementsAndZeroBytesEndThem) {
    expectMergeEverywhere({}, ',', "");
    expectMergeEverywhere({"solo"}, ',', "solo");
    expectMergeEverywhere({"a", "", "b"}, ';', "a;;b");
    expectMergeEverywhere({"head", "", "tail"}, ',', "head,,tail");
    expectMergeEverywhere({std::string("ab\0cd", 5), "e"}, ',', "ab,e");
    expectMergeEverywhere({"first", "second"}, '\0', "first");
}

TEST(MergeTest, NumbersAreWrittenAsSignedDecimals) {
    CUIntArray arr;
    EXPECT_EQ(RVUtil_gfnMerge(arr, ','), "");
    arr.Add(4294967295u);
    arr.Add(5);
    arr.Add(2147483648u);
    EXPECT_EQ(RVUtil_gfnMerge(arr, ','), "-1,5,-2147483648");
}

TEST(SplitMergeTest, RoundTripsThroughGrowth) {
    std::vector<CString> original;
    for (int i = 0; i < 2000; ++i) {
        original.emplace_back(i % 7 == 0 ? std::string() : std::string(i % 50, 'a' + i % 26));
    }
    original.emplace_back("last");  // a trailing empty field would not come back
    const CString merged = RVUtil_gfnMerge(original, '\t');
    std::vector<CString> back;
    RVUtil_gfnSplit(merged, back, '\t', 1);
    EXPECT_EQ(fields(back), fields(original));

    CUIntArray numbersIn;
    for (UINT v : {0u, 1u, 2147483647u, 2147483648u, 4294967295u}) {
        numbersIn.Add(v);
    }
    CUIntArray numbersOut;
    RVUtil_gfnSplit(RVUtil_gfnMerge(numbersIn, ' '), numbersOut, ' ');
    EXPECT_EQ(numbers(numbersOut), numbers(numbersIn));
}

}  // namespace
}  // namespace RVUtil::test

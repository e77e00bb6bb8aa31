// Lists take their nodes from blocks and reuse them.
#include <gtest/gtest.h>

#include <string>

#include "RVUtil/CStringList.h"

namespace {

CString Joined(const CStringList& list) {
    CString all;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        all += list.GetNext(pos) + " ";
    }
    return all;
}

TEST(CListBlocksTest, NodesAreReusedAcrossBlocksDrainsAndRefills) {
    CStringList list(3);
    for (int i = 0; i < 10; ++i) {
        list.AddTail(CString(std::to_string(i)));
    }
    list.RemoveAt(list.FindIndex(4));  // free nodes in the middle of blocks, then reuse them
    list.RemoveAt(list.FindIndex(1));
    list.InsertAfter(list.GetHeadPosition(), "x");
    list.AddHead("h");
    EXPECT_EQ(Joined(list), "h 0 x 2 3 5 6 7 8 9 ");
    while (!list.IsEmpty()) {
        list.RemoveTail();
    }
    for (int i = 0; i < 7; ++i) {
        list.AddTail(CString(std::string(40, static_cast<char>('a' + i))));  // heap text
    }
    EXPECT_EQ(list.GetTail(), CString(std::string(40, 'g')));
    list.RemoveAll();
    list.AddTail("again");
    EXPECT_EQ(Joined(list), "again ");
}

}  // namespace

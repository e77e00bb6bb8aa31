// Lists take their nodes from blocks and reuse them: filling, draining and refilling across
// block boundaries keeps every element and its order.
#include <gtest/gtest.h>

#include <string>

#include "RVUtil/CStringList.h"

namespace {

CString Joined(const CStringList& list) {
    CString all;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        all += list.GetNext(pos);
        all += ' ';
    }
    return all;
}

TEST(CListBlocksTest, NodesAreReusedAcrossBlocksDrainsAndRefills) {
    CStringList list(3);
    for (int i = 0; i < 10; ++i) {
        list.AddTail(CString(std::to_string(i)));
    }
    // Free nodes in the middle of blocks, then use them again.
    POSITION pos = list.FindIndex(4);
    list.RemoveAt(pos);
    list.RemoveAt(list.FindIndex(1));
    list.InsertAfter(list.GetHeadPosition(), "x");
    list.AddHead("h");
    EXPECT_EQ(Joined(list), "h 0 x 2 3 5 6 7 8 9 ");

    while (!list.IsEmpty()) {
        list.RemoveHead();
    }
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 7; ++i) {
            list.AddTail(CString(std::string(40, static_cast<char>('a' + i))));  // heap text
        }
        EXPECT_EQ(list.GetCount(), 7);
        EXPECT_EQ(list.GetTail(), CString(std::string(40, 'g')));
        while (list.GetCount() > 0) {
            list.RemoveTail();
        }
    }
    list.AddTail("left");
    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
    list.AddTail("again");
    EXPECT_EQ(Joined(list), "again ");
}

}  // namespace

// The read/write buffer: a forward-only read cursor bounded by the storage.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "BufferProbe.h"
#include "RVUtil/CRVMemRWBuffer.h"

namespace RVUtil::test {
namespace {

class RWBuffer : public Probe<CRVMemRWBuffer> {
  public:
    using Probe::Probe;
    UINT ReadPos() const { return m_nReadPos; }
};

TEST(CRVMemRWBufferTest, ReadStringConsumesTheWrittenBytesZeroBytesIncluded) {
    RWBuffer b;
    b.Write("hello", 5);
    CString s;
    EXPECT_TRUE(b.ReadString(5, s));
    EXPECT_EQ(s, "hello");
    EXPECT_EQ(b.ReadPos(), 5u);

    s = "kept";
    EXPECT_FALSE(b.ReadString(-1, s));
    EXPECT_EQ(s, "kept");
    EXPECT_EQ(b.ReadPos(), 5u);

    // A zero byte ends the string but not the cursor's move.
    b.Write("ab\0cd|ef", 8);
    EXPECT_TRUE(b.ReadString(5, s));
    EXPECT_EQ(s, "ab");
    EXPECT_EQ(b.ReadPos(), 10u);
    EXPECT_TRUE(b.ReadString(3, s));
    EXPECT_EQ(s, "|ef");
}

TEST(CRVMemRWBufferTest, ReadingStopsAtTheEndOfTheStorage) {
    RWBuffer b(8, 8);
    b.Write("abcdef", -1);
    char out[16];
    std::memset(out, '#', sizeof out);
    b.Read(out, 4);
    EXPECT_EQ(std::memcmp(out, "abcd#", 5), 0);

    // Asking for more than the storage holds copies only what is left of it.
    std::memset(out, '#', sizeof out);
    b.Read(out, sizeof out);
    EXPECT_EQ(b.ReadPos(), 8u);
    EXPECT_EQ(std::memcmp(out, "ef", 2), 0);
    EXPECT_EQ(out[4], '#');

    CString s = "stale";
    EXPECT_TRUE(b.ReadString(4, s));
    EXPECT_EQ(s, "");
}

TEST(CRVMemRWBufferTest, HugeOrInvalidRequestsStayDefined) {
    RWBuffer b(16, 16);
    b.Write("abc", -1);
    b.GetData();  // terminates after the written bytes
    CString s;
    // No block of INT_MAX bytes is needed for the at most 16 the storage can give.
    EXPECT_TRUE(b.ReadString(INT_MAX, s));
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(b.ReadPos(), 16u);

    RWBuffer c;
    c.Write("xyz", -1);
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { c.Read(nullptr, 2); }));

    RWBuffer none(0, 0);
    char out = '#';
    none.Read(&out, 1);
    EXPECT_EQ(out, '#');
    EXPECT_TRUE(none.ReadString(3, s));
    EXPECT_EQ(s, "");
}

TEST(CRVMemRWBufferTest, CopiesCarryTheCursorAndClearDoesNotRewindIt) {
    RWBuffer a;
    a.Write("abcdef", -1);
    CString s;
    a.ReadString(2, s);
    EXPECT_EQ(RWBuffer(a).ReadPos(), 2u);
    RWBuffer target(4, 4);
    target.Write("zz", -1);
    target = a;
    EXPECT_EQ(target.ReadPos(), 2u);
    EXPECT_TRUE(target.ReadString(4, s));
    EXPECT_EQ(s, "cdef");
    EXPECT_TRUE(a.ReadString(1, s));
    EXPECT_EQ(s, "c");  // the original's cursor did not move

    // Clear does not rewind the read cursor.
    a.Clear();
    a.Write("uvwxyz", -1);
    EXPECT_TRUE(a.ReadString(3, s));
    EXPECT_EQ(s, "xyz");
}

}  // namespace
}  // namespace RVUtil::test

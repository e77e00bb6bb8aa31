// The read/write buffer: a forward-only read cursor bounded by the storage.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <tuple>

#include "BufferProbe.h"
#include "RVUtil/CRVMemRWBuffer.h"

namespace RVUtil::test {
namespace {

class RWBuffer : public Probe<CRVMemRWBuffer> {
  public:
    using Probe::Probe;
    UINT ReadPos() const { return m_nReadPos; }
};

// What ReadString answers, the string it leaves and where the cursor stands afterwards.
using Read = std::tuple<bool, std::string, UINT>;
Read ReadString(RWBuffer& b, int n, const char* before = "") {
    CString s(before);
    const bool ok = b.ReadString(n, s);
    return {ok, s.str(), b.ReadPos()};
}

TEST(CRVMemRWBufferTest, ReadStringConsumesTheWrittenBytesZeroBytesIncluded) {
    RWBuffer b;
    b.Write("hello", 5);
    EXPECT_EQ(ReadString(b, 5), Read(true, "hello", 5));
    EXPECT_EQ(ReadString(b, -1, "kept"), Read(false, "kept", 5));
    // A zero byte ends the string but not the cursor's move.
    b.Write("ab\0cd|ef", 8);
    EXPECT_EQ(ReadString(b, 5), Read(true, "ab", 10));
    EXPECT_EQ(ReadString(b, 3), Read(true, "|ef", 13));
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
    EXPECT_EQ(std::string(out, 2) + out[4], "ef#");
    EXPECT_EQ(ReadString(b, 4, "stale"), Read(true, "", 8));
}

TEST(CRVMemRWBufferTest, HugeOrInvalidRequestsStayDefined) {
    RWBuffer b(16, 16);
    b.Write("abc", -1);
    b.GetData();  // terminates after the written bytes
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { b.Read(nullptr, 2); }));
    // No block of INT_MAX bytes is needed for the at most 16 the storage can give.
    EXPECT_EQ(ReadString(b, INT_MAX), Read(true, "abc", 16));

    RWBuffer none(0, 0);
    char out = '#';
    none.Read(&out, 1);
    EXPECT_EQ(out, '#');
    EXPECT_EQ(ReadString(none, 3), Read(true, "", 0));
}

TEST(CRVMemRWBufferTest, CopiesCarryTheCursorAndClearDoesNotRewindIt) {
    RWBuffer a;
    a.Write("abcdef", -1);
    ReadString(a, 2);
    EXPECT_EQ(RWBuffer(a).ReadPos(), 2u);
    RWBuffer target(4, 4);
    target.Write("zz", -1);
    target = a;
    EXPECT_EQ(ReadString(target, 4), Read(true, "cdef", 6));
    EXPECT_EQ(ReadString(a, 1), Read(true, "c", 3));  // the original's cursor did not move

    a.Clear();
    a.Write("uvwxyz", -1);
    EXPECT_EQ(ReadString(a, 3), Read(true, "xyz", 6));
}

}  // namespace
}  // namespace RVUtil::test

// The growable byte buffer: growth rule, terminator room, storage hooks, failure and copies;
// and the read/write buffer built on it.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "BufferProbe.h"
#include "RVUtil/CRVMemBuffer.h"
#include "RVUtil/CRVMemRWBuffer.h"

namespace RVUtil::test {
namespace {

using Buffer = Probe<CRVMemBuffer>;

// A buffer whose Alloc fails on demand (growth must go through it) and whose Frees are counted.
class HookedBuffer : public Buffer {
  public:
    // Initial size 0: the base constructor would allocate through its own Alloc.
    explicit HookedBuffer(UINT growBy = 16) : Buffer(0, growBy) {}
    ~HookedBuffer() override {
        if (m_pData != nullptr) {
            Free(m_pData);
            m_pData = nullptr;
        }
    }

    bool failAlloc = false;
    std::vector<unsigned long> allocs;
    int frees = 0;

  protected:
    char* Alloc(unsigned long n) override {
        allocs.push_back(n);
        return failAlloc ? nullptr : Buffer::Alloc(n);
    }
    void Free(char* p) override {
        ++frees;
        Buffer::Free(p);
    }
};

TEST(CRVMemBufferTest, GrowthFollowsTheGeometricRuleInGranules) {
    struct Case {
        UINT capacity, growBy;
        unsigned long need;
        UINT expected;
    } const cases[] = {
        {1024, 1024, 1025, 2048}, {1024, 1024, 5000, 5120}, {0, 0, 2, 1024},
        {256, 32, 257, 288},      {15, 256, 30, 256},       {100, 7, 100, 100},
    };
    for (const Case& c : cases) {
        Buffer b(c.capacity, c.growBy);
        b.Grow(c.need);
        EXPECT_EQ(b.Capacity(), c.expected) << c.capacity << "/" << c.growBy << " +" << c.need;
    }
}

TEST(CRVMemBufferTest, WritesAppendAndAlwaysLeaveRoomForTheTerminator) {
    Buffer b(16, 16);
    b.Write(nullptr, 0);
    b.Write("ignored", 0);
    EXPECT_EQ(b.GetSize(), 0u);

    b.Write("abc", -1);
    b.Write("de", -7);
    b.Write("fgh", 2);
    b.Write('!');
    EXPECT_EQ(b.Contents(), "abcdefg!");

    // 8 written: a run of 7 leaves exactly the terminator byte and does not grow...
    b.Write("1234567", 7);
    EXPECT_EQ(b.Capacity(), 16u);
    // ...but one more byte needs room for itself and the terminator.
    b.Write('x');
    EXPECT_EQ(b.Capacity(), 32u);
    EXPECT_EQ(b.Contents(), "abcdefg!1234567x");

    // A null run of unknown length is empty; of a given length, refused with nothing changed.
    const auto before = b.State();
    b.Write(nullptr, -1);
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { b.Write(nullptr, 3); }));
    EXPECT_EQ(b.State(), before);
}

TEST(CRVMemBufferTest, ZeroBytesAreStoredAndClearKeepsTheStorage) {
    Buffer b(8, 8);
    b.Write("ab\0cd", 5);
    EXPECT_EQ(b.Contents(), std::string("ab\0cd", 5));
    EXPECT_STREQ(b.GetData(), "ab");  // the string view ends at the zero byte
    b.Write("0123456789", -1);
    char* const storage = b.Data();
    b.Clear();
    EXPECT_STREQ(b.GetData(), "");
    b.Write("again", -1);
    EXPECT_EQ(b.Data(), storage);
    EXPECT_STREQ(b.GetData(), "again");
}

TEST(CRVMemBufferTest, AppendingItsOwnContentsSurvivesGrowth) {
    Buffer b(8, 8);
    b.Write("abcdef", -1);
    b.Write(b.GetData(), static_cast<int>(b.GetSize()));  // must grow: the source moves
    EXPECT_STREQ(b.GetData(), "abcdefabcdef");
    b.Write(b.GetData() + 3, -1);
    EXPECT_STREQ(b.GetData(), "abcdefabcdefdefabcdef");
    // A run of its own storage that reaches past the written bytes reads nothing defined.
    Buffer c(4, 4);
    c.Write("ab", -1);
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { c.Write(c.Data(), 3); }));
    EXPECT_STREQ(c.GetData(), "ab");
}

TEST(CRVMemBufferTest, FailedAllocationRaisesAndChangesNothing) {
    HookedBuffer b(0);  // granule 0: even the default granule must not be taken on failure
    b.failAlloc = true;
    EXPECT_TRUE(Raises<CMemoryException>([&] { b.Write('a'); }));
    EXPECT_EQ(b.Data(), nullptr);
    EXPECT_EQ(b.GrowBy(), 0u);

    b.failAlloc = false;
    b.Write(std::string(1023, 'x').c_str(), -1);  // full: 1023 bytes and the terminator
    const auto before = b.State();
    b.failAlloc = true;
    EXPECT_TRUE(Raises<CMemoryException>([&] { b.Write('y'); }));
    EXPECT_TRUE(Raises<CMemoryException>([&] { b.Write("yy", 2); }));
    EXPECT_EQ(b.State(), before);
    EXPECT_EQ(b.frees, 0);  // the old block stays owned

    Buffer source;
    source.Write("theirs", -1);
    EXPECT_TRUE(Raises<CMemoryException>([&] { static_cast<CRVMemBuffer&>(b) = source; }));
    EXPECT_EQ(b.State(), before);
}

// Requests near the top of the 32-bit range: growth must end, stay within 32 bits and
// report what it cannot hold, without touching memory it does not own.
TEST(CRVMemBufferTest, RequestsNearFourGiBEndInARepresentableSizeOrOutOfMemory) {
    HookedBuffer b(1024);
    b.failAlloc = true;
    b.Grow(0);  // nothing needed
    EXPECT_TRUE(b.allocs.empty());

    // Past the capacity where multiplying by 11 in 32 bits would wrap.
    for (const unsigned long need : {400'000'000ul, 0xFFFFFF00ul}) {
        EXPECT_TRUE(Raises<CMemoryException>([&] { b.Grow(need); }));
        EXPECT_GE(b.allocs.back(), need);
        EXPECT_LE(b.allocs.back(), 0xFFFFFFFFul);
    }
    EXPECT_EQ(b.allocs[0] % 1024, 0u);

    // More than 32-bit counters can describe: refused before any allocation.
    EXPECT_TRUE(Raises<CMemoryException>([&] { b.Grow(0x100000000ul); }));
    EXPECT_EQ(b.allocs.size(), 2u);
    EXPECT_EQ(b.Data(), nullptr);
    EXPECT_EQ(b.Capacity(), 0u);
}

// A write cursor near 4 GiB: a 32-bit room check would wrap around to a small number,
// skip growth and write far outside the storage.
TEST(CRVMemBufferTest, WriteNearTheTopOfTheCounterRangeIsRefused) {
    class Crowded : public HookedBuffer {
      public:
        explicit Crowded(UINT writePos) {
            Write("0123456789", -1);  // 16 bytes of storage
            m_nWritePos = m_nSize = writePos;
        }
    };
    Crowded run(UINT32_MAX - 16);
    EXPECT_TRUE(Raises<CMemoryException>([&] { run.Write("01234567890123456789", 20); }));
    Crowded single(UINT32_MAX - 1);
    EXPECT_TRUE(Raises<CMemoryException>([&] { single.Write('z'); }));
    for (const Crowded* b : {&run, &single}) {
        EXPECT_EQ(b->allocs.size(), 1u);  // only the first storage
        EXPECT_EQ(b->Capacity(), 16u);
    }
}

TEST(CRVMemBufferTest, CopiesOwnTheirStorage) {
    Buffer a(8, 4);
    a.Write("shared?", -1);
    Buffer copy(a);
    copy.Write("!", -1);
    EXPECT_EQ(a.Contents() + "|" + copy.Contents(), "shared?|shared?!");

    Buffer target(64, 64);
    target.Write("old", -1);
    target = a;  // the target's old block is released (a leak checker sees otherwise)
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wself-assign-overloaded"  // assigning to itself is the case
#endif
    target = target;
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
    EXPECT_NE(target.Data(), a.Data());
    EXPECT_STREQ(target.GetData(), "shared?");

    Buffer empty(0, 0);
    target = empty;
    EXPECT_EQ(target.Data(), nullptr);
    EXPECT_STREQ(target.GetData(), "");  // no storage still reads as empty text
}

// The read/write buffer: a forward-only read cursor bounded by the storage.
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

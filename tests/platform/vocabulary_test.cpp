// The framework vocabulary that hosts write against: strings, arrays, lists, exceptions.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "RVUtil/AfxException.h"
#include "RVUtil/CCriticalSection.h"
#include "RVUtil/CObList.h"
#include "RVUtil/CString.h"
#include "RVUtil/CStringArray.h"
#include "RVUtil/CStringList.h"
#include "RVUtil/CUIntArray.h"
#include "RVUtil/ThreadId.h"
#include "support/Raises.h"

namespace {

using rvtest::Raises;

TEST(CStringTest, ConstructionComparisonAndFormat) {
    const char* none = nullptr;
    EXPECT_TRUE(CString(none).IsEmpty());
    CString s("Hello");
    EXPECT_STREQ(static_cast<const char*>(s), "Hello");
    EXPECT_TRUE("Hello" == s && s != CString("hello"));
    EXPECT_EQ(s.CompareNoCase("hELLO"), 0);
    EXPECT_LT(s.CompareNoCase("help"), 0);
    EXPECT_EQ(CString("ab", 1), "a");
    EXPECT_EQ(CString('x', 3), "xxx");
    EXPECT_EQ(s + " " + CString("World") + '!', "Hello World!");
    s.Format("%s=%d;%05.1f", "n", -42, 3.14159);
    EXPECT_EQ(s, "n=-42;003.1");
    s.Format("%s", std::string(5000, 'y').c_str());  // longer than any fixed buffer
    EXPECT_EQ(s.GetLength(), 5000);
}

TEST(CStringTest, EditingOperationsAndTheirBounds) {
    CString t("Content-Encoding: GZip");
    EXPECT_EQ(CString(t).MakeLower(), "content-encoding: gzip");
    EXPECT_EQ(t.Find("GZip"), 18);
    EXPECT_EQ(t.Find('n', 3), 5);
    EXPECT_EQ(t.Find('#'), -1);
    EXPECT_EQ(t.Find('C', 100), -1);

    CString r("a-b-c");
    EXPECT_EQ(r.Replace('-', '+'), 2);
    EXPECT_EQ(r.Replace("+", "--"), 2);
    EXPECT_EQ(r, "a--b--c");
    EXPECT_EQ(r.Replace("", "x"), 0);
    EXPECT_EQ(r.Remove('-'), 4);
    EXPECT_EQ(r, "abc");

    CString m("0123456789");
    EXPECT_EQ(m.Mid(3, 4), "3456");
    EXPECT_EQ(m.Mid(20), "");
    EXPECT_EQ(m.Mid(-5, 2), "01");
    EXPECT_EQ(m.Left(50), m);
    EXPECT_EQ(m.Right(2), "89");
    EXPECT_EQ(m.Right(-1), "");
    EXPECT_EQ(CString("  pad \t").Trim(), "pad");

    CString s("ab");
    EXPECT_EQ(s[1], 'b');
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { (void)s.GetAt(2); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { s.SetAt(-1, 'x'); }));
}

TEST(CArrayTest, MembersAndBadIndexes) {
    CStringArray a;
    EXPECT_EQ(a.Add("x"), 0);
    EXPECT_EQ(a.Add("z"), 1);
    a.InsertAt(1, "y");
    ASSERT_EQ(a.GetSize(), 3);
    EXPECT_EQ(a[1], "y");
    a.SetAt(2, "w");
    EXPECT_EQ(a.GetAt(2), "w");
    a.RemoveAt(0);
    EXPECT_EQ(a[0], "y");
    a.SetSize(5);
    EXPECT_EQ(a.GetSize(), 5);
    EXPECT_TRUE(a[4].IsEmpty());
    a.SetSize(0);
    EXPECT_EQ(a.GetSize(), 0);

    EXPECT_TRUE(Raises<CInvalidArgException>([&] { (void)a.GetAt(0); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { a.SetAt(-1, "q"); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { a.RemoveAt(0); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { a.SetSize(-1); }));

    CUIntArray u;
    u.InsertAt(2, 7u);  // past the end: grows with zeros first
    ASSERT_EQ(u.GetSize(), 3);
    EXPECT_EQ(u[0], 0u);
    EXPECT_EQ(u[2], 7u);
    u.RemoveAll();
    EXPECT_TRUE(u.IsEmpty());
}

CString Joined(const CStringList& list) {
    CString all;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        all += list.GetNext(pos) + " ";
    }
    return all;
}

TEST(CListTest, PositionsWalkAndEdit) {
    CStringList list;
    POSITION b = list.AddTail("b");
    list.AddHead("a");
    list.InsertAfter(b, "c");
    list.AddTail("d");
    ASSERT_EQ(list.GetCount(), 4);

    EXPECT_EQ(Joined(list), "a b c d ");

    list.RemoveAt(b);
    EXPECT_EQ(list.RemoveHead(), "a");
    EXPECT_EQ(list.GetHead(), "c");
    EXPECT_EQ(list.GetTail(), "d");
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetHeadPosition(), nullptr);

    POSITION none = nullptr;
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { list.GetNext(none); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { list.RemoveHead(); }));
}

// Lists take their nodes from blocks and reuse them.
TEST(CListTest, NodesAreReusedAcrossBlocksDrainsAndRefills) {
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

TEST(CListTest, ObListHoldsPointersWithoutOwningThem) {
    struct Counted : CObject {
        explicit Counted(int* d) : deaths(d) {}
        ~Counted() override { ++*deaths; }
        int* deaths;
    };
    int deaths = 0;
    Counted one(&deaths);
    {
        CObList list;
        list.AddTail(&one);
        EXPECT_EQ(list.GetHead(), &one);
    }
    EXPECT_EQ(deaths, 0);
}

TEST(ExceptionTest, ThrownAsSharedInstancesThatDeleteLeavesAlone) {
    CMemoryException* first = nullptr;
    CMemoryException* second = nullptr;
    try {
        AfxThrowMemoryException();
    } catch (CMemoryException* e) {
        first = e;
        e->Delete();
    }
    try {
        AfxThrowMemoryException();
    } catch (CException* e) {
        second = dynamic_cast<CMemoryException*>(e);
        char text[8];
        EXPECT_TRUE(e->GetErrorMessage(text, sizeof text));
        EXPECT_STREQ(text, "Out of ");  // cut to fit, terminated
        e->Delete();
    }
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(first, second);
}

TEST(CriticalSectionTest, RecursiveAndExclusive) {
    CCriticalSection cs;
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 10000; ++i) {
            CSingleLock outer(&cs, TRUE);
            CSingleLock inner(&cs, TRUE);  // the holder may enter again
            ++counter;
        }
    };
    std::thread t1(work), t2(work);
    t1.join();
    t2.join();
    EXPECT_EQ(counter, 20000);

    CSingleLock lock(&cs);
    EXPECT_FALSE(lock.IsLocked());
    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.Unlock());
    EXPECT_FALSE(lock.IsLocked());
}

TEST(ThreadIdTest, DistinctPerThreadAndStable) {
    const DWORD mine = GetCurrentThreadId();
    EXPECT_EQ(mine, GetCurrentThreadId());
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, mine);

    // A forked child's only thread has the child's process id, whatever its parent knew.
    const pid_t child = fork();
    if (child == 0) {
        _exit(GetCurrentThreadId() == static_cast<DWORD>(getpid()) ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace

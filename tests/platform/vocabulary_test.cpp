// The framework vocabulary that hosts write against: strings, arrays, lists, exceptions,
// thread ids and names. The pointer list and the critical section are proved through the
// request queue, which is built on them (queue_tests, under ThreadSanitizer too).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "RVUtil/AfxException.h"
#include "RVUtil/CString.h"
#include "RVUtil/CStringArray.h"
#include "RVUtil/CStringList.h"
#include "RVUtil/CUIntArray.h"
#include "RVUtil/ThreadId.h"
#include "RVUtil/ThreadName.h"
#include "support/ChildProcess.h"
#include "support/Raises.h"

namespace {

using rvtest::Raises;

TEST(CStringTest, ConstructionComparisonAndFormat) {
    const char* none = nullptr;
    EXPECT_TRUE(CString(none).IsEmpty());
    CString s("Hello");
    EXPECT_TRUE("Hello" == s && s != CString("hello"));
    EXPECT_TRUE(s.CompareNoCase("hELLO") == 0 && s.CompareNoCase("help") < 0);
    EXPECT_EQ(CString("ab", 1), "a");
    s.Format("%s=%d;%05.1f", "n", -42, 3.14159);
    EXPECT_EQ(s, "n=-42;003.1");
    s.Format("%s", std::string(5000, 'y').c_str());  // longer than any fixed buffer
    EXPECT_EQ(s.GetLength(), 5000);
}

TEST(CStringTest, EditingOperationsAndTheirBounds) {
    CString t("Content-Encoding: GZip");
    EXPECT_EQ(std::tuple(t.Find("GZip"), t.Find('n', 3), t.Find('C', 100)), std::tuple(18, 5, -1));

    CString r("a-b-c");
    // Braces: the calls run left to right.
    EXPECT_EQ((std::tuple{r.Replace('-', '+'), r.Replace("+", "--"), r.Replace("", "x")}),
              std::tuple(2, 2, 0));
    EXPECT_EQ(r, "a--b--c");
    EXPECT_EQ(r.Remove('-'), 4);
    EXPECT_EQ(r, "abc");

    CString m("0123456789");
    EXPECT_EQ(m.Mid(20) + "|" + m.Mid(-5, 2) + "|" + m.Left(50) + "|" + m.Right(-1),
              "|01|0123456789|");

    CString s("ab");
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { (void)s.GetAt(2); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { s.SetAt(-1, 'x'); }));
}

TEST(CArrayTest, MembersAndBadIndexes) {
    CStringArray a;
    a.Add("x");
    a.Add("z");
    a.InsertAt(1, "y");
    a.RemoveAt(0);
    EXPECT_EQ(std::vector<CString>(a.begin(), a.end()), (std::vector<CString>{"y", "z"}));
    a.SetSize(5);
    EXPECT_TRUE(a[4].IsEmpty());
    a.SetSize(0);

    EXPECT_TRUE(Raises<CInvalidArgException>([&] { (void)a.GetAt(0); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { a.SetAt(-1, "q"); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { a.RemoveAt(0); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { a.SetSize(-1); }));

    CUIntArray u;
    u.InsertAt(2, 7u);  // past the end: grows with zeros first
    EXPECT_EQ(std::vector<UINT>(u.begin(), u.end()), (std::vector<UINT>{0, 0, 7}));
}

// The items head first, then the count the list keeps.
std::string Joined(const CStringList& list) {
    std::string all;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        all += list.GetNext(pos).str() + " ";
    }
    return all + "#" + std::to_string(list.GetCount());
}

TEST(CListTest, PositionsWalkAndEdit) {
    CStringList list;
    POSITION b = list.AddTail("b");
    list.AddHead("a");
    list.InsertAfter(b, "c");
    list.AddTail("d");
    EXPECT_EQ(Joined(list), "a b c d #4");
    list.RemoveAt(b);
    EXPECT_EQ(list.RemoveHead(), "a");
    EXPECT_EQ(Joined(list), "c d #2");
    list.RemoveAll();
    EXPECT_EQ(list.GetHeadPosition(), nullptr);

    POSITION none = nullptr;
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { list.GetNext(none); }));
    EXPECT_TRUE(Raises<CInvalidArgException>([&] { list.RemoveHead(); }));
}

// Running out of memory must not need memory: one shared instance, which Delete leaves alone.
TEST(ExceptionTest, SharedInstanceOutlivesDeleteAndItsMessageIsCutToFit) {
    CException* seen[2] = {};
    for (CException*& slot : seen) {
        try {
            AfxThrowMemoryException();
        } catch (CException* e) {
            slot = e;
            char text[8];
            EXPECT_TRUE(e->GetErrorMessage(text, sizeof text));
            EXPECT_STREQ(text, "Out of ");  // terminated
            e->Delete();
        }
    }
    EXPECT_EQ(seen[0], seen[1]);
}

TEST(ThreadIdTest, DistinctPerThreadAndStable) {
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, GetCurrentThreadId());

    // A forked child's only thread has the child's process id, whatever its parent knew.
    const pid_t child = fork();
    if (child == 0) {
        _exit(GetCurrentThreadId() == static_cast<DWORD>(getpid()) ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// The thread with that id is named, keeping fifteen bytes; all ones names the caller; ids of
// no thread of this process are ignored.
TEST(SetThreadNameTest, NamesOnlyThreadsOfThisProcess) {
    std::promise<DWORD> started;
    std::promise<void> done;
    std::thread t([&] {
        RVUtil::SetThreadName(0xFFFFFFFF, "self-named");
        started.set_value(GetCurrentThreadId());
        done.get_future().wait();
    });
    const DWORD tid = started.get_future().get();
    EXPECT_EQ(rvtest::ThreadNameOf(tid), "self-named");
    RVUtil::SetThreadName(tid, "CurlHttpFetcherThread");
    RVUtil::SetThreadName(tid, nullptr);
    EXPECT_EQ(rvtest::ThreadNameOf(tid), "CurlHttpFetcher");
    done.set_value();
    t.join();
    const std::string before = rvtest::ThreadNameOf(GetCurrentThreadId());
    RVUtil::SetThreadName(0, "nobody");
    RVUtil::SetThreadName(1, "init");  // a thread, but not one of ours
    EXPECT_EQ(rvtest::ThreadNameOf(GetCurrentThreadId()), before);
}

}  // namespace

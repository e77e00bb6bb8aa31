// Thread naming by kernel thread id.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "RVUtil/ThreadId.h"
#include "RVUtil/ThreadName.h"
#include "support/ChildProcess.h"

namespace RVUtil::test {
namespace {

using rvtest::ThreadNameOf;

// The thread with that id is named, keeping fifteen bytes; all ones names the caller; ids of
// no thread of this process are ignored.
TEST(SetThreadNameTest, NamesOnlyThreadsOfThisProcess) {
    std::promise<DWORD> started;
    std::promise<void> done;
    std::thread t([&] {
        SetThreadName(0xFFFFFFFF, "self-named");
        started.set_value(GetCurrentThreadId());
        done.get_future().wait();
    });
    const DWORD tid = started.get_future().get();
    EXPECT_EQ(ThreadNameOf(tid), "self-named");
    SetThreadName(tid, "CurlHttpFetcherThread");
    SetThreadName(tid, nullptr);
    EXPECT_EQ(ThreadNameOf(tid), "CurlHttpFetcher");
    done.set_value();
    t.join();
    const std::string before = ThreadNameOf(GetCurrentThreadId());
    SetThreadName(0, "nobody");
    SetThreadName(1, "init");  // a thread, but not one of ours
    EXPECT_EQ(ThreadNameOf(GetCurrentThreadId()), before);
}

}  // namespace
}  // namespace RVUtil::test

// Thread naming by kernel thread id.
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "RVUtil/ThreadId.h"
#include "RVUtil/ThreadName.h"

namespace RVUtil::test {
namespace {

std::string nameOf(DWORD tid) {
    std::ifstream comm("/proc/self/task/" + std::to_string(tid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// Runs check(tid) on the main thread while a second thread, whose id is tid, stays alive.
template <class Check, class OnThread>
void withThread(OnThread&& onThread, Check&& check) {
    std::promise<DWORD> started;
    std::promise<void> done;
    std::thread t([&] {
        onThread();
        started.set_value(GetCurrentThreadId());
        done.get_future().wait();
    });
    const DWORD tid = started.get_future().get();
    check(tid);
    done.set_value();
    t.join();
}

// The thread with that id is named, keeping fifteen bytes; all ones names the caller; ids of
// no thread of this process are ignored.
TEST(SetThreadNameTest, NamesOnlyThreadsOfThisProcess) {
    withThread([] { SetThreadName(0xFFFFFFFF, "self-named"); },
               [](DWORD tid) {
                   EXPECT_EQ(nameOf(tid), "self-named");
                   SetThreadName(tid, "CurlHttpFetcherThread");
                   EXPECT_EQ(nameOf(tid), "CurlHttpFetcher");
                   SetThreadName(tid, nullptr);
                   EXPECT_EQ(nameOf(tid), "CurlHttpFetcher");
               });
    const std::string before = nameOf(GetCurrentThreadId());
    SetThreadName(0, "nobody");
    SetThreadName(1, "init");  // a thread, but not one of ours
    EXPECT_EQ(nameOf(GetCurrentThreadId()), before);
}

}  // namespace
}  // namespace RVUtil::test

// Events and waits of the kernel-object layer. Threads (suspended start, exit codes, an
// escaping exception, termination) are proved through the queue's thread control.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "RVUtil/CEvent.h"
#include "RVUtil/WaitFunctions.h"

namespace {

constexpr DWORD kLongMs = 10000;  // generous bound for anything that must happen

TEST(EventTest, AutoResetIsTakenOnceManualStaysAndTheLowestIndexWins) {
    CEvent a, b, c;
    const HANDLE all[3] = {a, b, c};
    EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 10), WAIT_TIMEOUT);
    c.SetEvent();
    b.SetEvent();
    b.SetEvent();  // setting a set event does not count twice
    EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    EXPECT_FALSE(c.Lock(0));

    CEvent manual(TRUE, TRUE);
    EXPECT_TRUE(manual.Lock(0));
    EXPECT_TRUE(manual.Lock(0));
    manual.ResetEvent();
    EXPECT_EQ(WaitForSingleObject(manual, 10), WAIT_TIMEOUT);

    const HANDLE withNull[2] = {a, nullptr};
    EXPECT_EQ(WaitForMultipleObjects(0, all, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, all, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(2, withNull, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(2, all, TRUE, 0), WAIT_FAILED);  // wait-all is not offered
    EXPECT_FALSE(SetEvent(nullptr));
}

// Three consumers sleep on {stop, work}; each signal of work must reach exactly one of them
// (a lost wake-up times the test out, a doubled one overshoots the count).
TEST(EventTest, EverySignalReachesExactlyOneSleeper) {
    CEvent stop(FALSE, TRUE);
    CEvent work;
    std::atomic<int> taken{0};
    std::vector<std::thread> consumers;
    for (int i = 0; i < 3; ++i) {
        consumers.emplace_back([&] {
            const HANDLE waits[2] = {stop, work};
            while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
                ++taken;
            }
        });
    }
    for (int i = 0; i < 2000; ++i) {
        work.SetEvent();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongMs);
        while (taken.load() <= i && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        ASSERT_EQ(taken.load(), i + 1);
    }
    stop.SetEvent();  // manual reset: releases every consumer
    for (auto& t : consumers) {
        t.join();
    }
}

}  // namespace

// Events, waits and threads of the kernel-object layer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "RVUtil/CEvent.h"
#include "RVUtil/WaitFunctions.h"
#include "platform/KernelObject.h"
#include "platform/ThreadObject.h"
#include "queue/ThreadTestSupport.h"

namespace {

using namespace RVUtil::platform;

using queue_test::BlockUntilCancelled;
using queue_test::kLongMs;

TEST(EventTest, AutoResetIsConsumedByOneWaitManualStaysUntilReset) {
    CEvent automatic;
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(automatic.SetEvent());
    EXPECT_TRUE(automatic.SetEvent());  // setting a set event does not count twice
    EXPECT_TRUE(automatic.Lock(0));
    EXPECT_FALSE(automatic.Lock(0));

    CEvent manual(TRUE, TRUE);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(manual.ResetEvent());
    EXPECT_EQ(WaitForSingleObject(manual, 20), WAIT_TIMEOUT);
}

TEST(EventTest, WaitForAnyReportsAndConsumesOnlyTheLowestSignalled) {
    CEvent a, b, c;
    const HANDLE all[3] = {a, b, c};
    c.SetEvent();
    b.SetEvent();
    EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 10), WAIT_TIMEOUT);
}

TEST(EventTest, BadArgumentsFailTheWait) {
    CEvent a;
    const HANDLE two[2] = {a, a};
    const HANDLE withNull[2] = {a, nullptr};
    EXPECT_EQ(WaitForMultipleObjects(0, two, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, two, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(2, nullptr, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(2, withNull, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(2, two, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(nullptr));
    EXPECT_FALSE(ResetEvent(nullptr));
}

TEST(EventTest, OneSignalReleasesOneSleeper) {
    CEvent event;
    std::atomic<int> woken{0};
    std::vector<std::thread> sleepers;
    for (int i = 0; i < 2; ++i) {
        sleepers.emplace_back([&] {
            if (WaitForSingleObject(event, kLongMs) == WAIT_OBJECT_0) {
                ++woken;
            }
        });
    }
    event.SetEvent();
    for (int i = 0; i < 200 && woken.load() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(woken.load(), 1);
    event.SetEvent();
    for (auto& t : sleepers) {
        t.join();
    }
    EXPECT_EQ(woken.load(), 2);
}

// Every signal must reach a sleeper: three consumers sleep on {stop, work}; each signal of
// work is waited for until one of them has taken it. A lost wake-up times out the test.
TEST(EventTest, NoSignalIsLostAmongSleepers) {
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
    constexpr int kSignals = 2000;
    for (int i = 0; i < kSignals; ++i) {
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

struct Probe {
    CEvent entered{FALSE, TRUE};
    std::atomic<bool> released{false};
    std::atomic<bool> unwound{false};
};

UINT returnsSeven(void* arg) {
    static_cast<Probe*>(arg)->entered.SetEvent();
    return 7;
}

UINT blocksInSleep(void* arg) {
    auto* probe = static_cast<Probe*>(arg);
    struct Mark {
        Probe* probe;
        ~Mark() { probe->unwound = true; }
    } mark{probe};
    CancellationWindow window;
    probe->entered.SetEvent();
    BlockUntilCancelled();
}

UINT spinsUntilReleased(void* arg) {
    auto* probe = static_cast<Probe*>(arg);
    CancellationWindow window;
    probe->entered.SetEvent();
    while (!probe->released.load()) {
        // no cancellation point here
    }
    return CurrentThreadTerminated() ? 1 : 0;
}

UINT throwsOut(void*) {
    throw std::runtime_error("escapes the entry");
}

TEST(ThreadTest, SuspendedUntilResumedThenSignalledWithItsExitCode) {
    Probe probe;
    HANDLE thread = BeginThread(&returnsSeven, &probe, 0, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(probe.entered, 50), WAIT_TIMEOUT);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_FALSE(IsCurrentThread(thread));
    EXPECT_FALSE(SetEvent(thread));  // a thread is not an event
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, kLongMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_FALSE(TerminateThread(thread, 1));  // already ended
    EXPECT_TRUE(CloseHandle(thread));
}

TEST(ThreadTest, TerminationUnwindsAThreadBlockedInACancellationPoint) {
    Probe probe;
    HANDLE thread = BeginThread(&blocksInSleep, &probe, 0, 0, 0);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(probe.entered, kLongMs), WAIT_OBJECT_0);
    EXPECT_TRUE(TerminateThread(thread, 0xFFFFFFFFu));
    EXPECT_EQ(WaitForSingleObject(thread, kLongMs), WAIT_OBJECT_0);
    EXPECT_TRUE(probe.unwound.load());
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    CloseHandle(thread);
}

TEST(ThreadTest, ThreadOutsideACancellationPointRunsOnAndSeesItWasTerminated) {
    Probe probe;
    HANDLE thread = BeginThread(&spinsUntilReleased, &probe, 0, 0, 0);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(probe.entered, kLongMs), WAIT_OBJECT_0);
    EXPECT_TRUE(TerminateThread(thread, 5));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);  // reported at once, as the thread is given up on
    probe.released = true;
    EXPECT_EQ(WaitForSingleObject(thread, kLongMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);
    CloseHandle(thread);
}

TEST(ThreadTest, NeverResumedThreadEndsWhenTerminatedAndAnEscapingExceptionEndsOnlyItsThread) {
    Probe probe;
    HANDLE suspended = BeginThread(&returnsSeven, &probe, 0, 0, CREATE_SUSPENDED);
    ASSERT_NE(suspended, nullptr);
    EXPECT_TRUE(TerminateThread(suspended, 3));
    EXPECT_EQ(WaitForSingleObject(suspended, kLongMs), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(probe.entered, 0), WAIT_TIMEOUT);
    CloseHandle(suspended);

    HANDLE throwing = BeginThread(&throwsOut, nullptr, 0, 0, 0);
    ASSERT_NE(throwing, nullptr);
    EXPECT_EQ(WaitForSingleObject(throwing, kLongMs), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(throwing, &code));
    EXPECT_EQ(code, THREAD_EXIT_UNCAUGHT_EXCEPTION);
    CloseHandle(throwing);
    EXPECT_EQ(BeginThread(nullptr, nullptr, 0, 0, 0), nullptr);
}

}  // namespace

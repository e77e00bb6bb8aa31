// The timer thread: period changes, ending, stopping, priority and forced termination.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>

#include "RVUtil/CRVTimerThread.h"
#include "ThreadTestSupport.h"

namespace {

using namespace queue_test;
using RVUtil::CRVTimerThread;
using RVUtil::IRVTimerThreadRunnable;
using Timer = Inspectable<CRVTimerThread>;

class TickRecorder : public IRVTimerThreadRunnable {
  public:
    HRESULT OnThreadStart() override {
        niceOnThread = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        ++starts;
        return startStatus;
    }
    HRESULT OnTimer() override {
        const int tick = ++ticks;
        return onTimer ? onTimer(tick) : 0;
    }
    HRESULT OnThreadEnd() override {
        ++ends;
        return 0;
    }

    HRESULT startStatus = 0;
    std::function<HRESULT(int)> onTimer;
    std::atomic<int> starts{0}, ticks{0}, ends{0};
    std::atomic<int> niceOnThread{0};
};

void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

TEST(TimerThreadTest, TicksAtItsPeriodUntilStopped) {
    TickRecorder runnable;
    Timer timer(&runnable, THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(timer.GetTimer(), 1000);
    timer.SetTimer(5);
    EXPECT_EQ(timer.GetTimer(), 5);
    ASSERT_TRUE(timer.Start());
    ASSERT_TRUE(Eventually([&] { return runnable.ticks >= 3; }));
    timer.Stop();
    const int ticks = runnable.ticks;
    Pause();
    EXPECT_EQ(runnable.ticks.load(), ticks);
    EXPECT_EQ(runnable.starts.load(), 1);
    EXPECT_EQ(runnable.ends.load(), 1);

    TickRecorder eager;
    Timer noPause(&eager, THREAD_PRIORITY_NORMAL);
    noPause.SetTimer(0);
    ASSERT_TRUE(noPause.Start());
    EXPECT_TRUE(Eventually([&] { return eager.ticks >= 500; }));
}

TEST(TimerThreadTest, NewPeriodTakesEffectAtTheNextWaitAndMinusOneWaitsWithoutEnd) {
    TickRecorder runnable;
    Timer timer(&runnable, THREAD_PRIORITY_NORMAL);
    timer.SetTimer(-1);
    ASSERT_TRUE(timer.Start());
    Pause();
    timer.SetTimer(1);  // does not wake the wait under way, which has no end
    Pause();
    EXPECT_EQ(runnable.ticks.load(), 0);
    timer.Stop();
    EXPECT_EQ(runnable.ends.load(), 1);

    TickRecorder once;
    Timer slowing(&once, THREAD_PRIORITY_NORMAL);
    once.onTimer = [&](int) {
        slowing.SetTimer(-1);
        return 0;
    };
    slowing.SetTimer(1);
    ASSERT_TRUE(slowing.Start());
    ASSERT_TRUE(Eventually([&] { return once.ticks == 1; }));
    Pause();
    EXPECT_EQ(once.ticks.load(), 1);
}

TEST(TimerThreadTest, ExceptionsKeepTheTimerGoingNegativeStatusEndsIt) {
    TickRecorder throwing;
    throwing.onTimer = [](int tick) -> HRESULT {
        if (tick <= 2) {
            throw std::runtime_error("tick fails");
        }
        return 0;
    };
    Timer timer(&throwing, THREAD_PRIORITY_NORMAL);
    timer.SetTimer(1);
    ASSERT_TRUE(timer.Start());
    EXPECT_TRUE(Eventually([&] { return throwing.ticks >= 4; }));
    timer.Stop();

    TickRecorder failing;
    failing.onTimer = [](int) { return -1; };
    Timer ending(&failing, THREAD_PRIORITY_NORMAL);
    ending.SetTimer(1);
    ASSERT_TRUE(ending.Start());
    KeptThread thread(ending.KeepThread());
    ASSERT_TRUE(thread.Ends());
    EXPECT_EQ(thread.ExitCode(), 0u);
    EXPECT_EQ(failing.ticks.load(), 1);
    EXPECT_EQ(failing.ends.load(), 1);
    EXPECT_TRUE(ending.Start());  // ended, not idle: nothing new starts until Stop
    EXPECT_EQ(ending.Recorded(), thread.get());
    ending.Stop();
    ASSERT_TRUE(ending.Start());
    EXPECT_TRUE(Eventually([&] { return failing.ends == 2; }));
    EXPECT_EQ(failing.starts.load(), 2);
}

TEST(TimerThreadTest, FailedStartEndsWithoutTicksOrEnd) {
    TickRecorder runnable;
    runnable.startStatus = -1;
    Timer timer(&runnable, THREAD_PRIORITY_NORMAL);
    timer.SetTimer(0);
    ASSERT_TRUE(timer.Start());
    KeptThread thread(timer.KeepThread());
    ASSERT_TRUE(thread.Ends());
    EXPECT_EQ(thread.ExitCode(), 0u);
    EXPECT_EQ(runnable.ticks.load(), 0);
    EXPECT_EQ(runnable.ends.load(), 0);

    Timer none(nullptr, THREAD_PRIORITY_NORMAL);
    EXPECT_FALSE(none.Start());
}

TEST(TimerThreadTest, StopOrDestructionFromInsideOnTimerReturnsAndEndsTheLoop) {
    TickRecorder runnable;
    Timer timer(&runnable, THREAD_PRIORITY_NORMAL);
    runnable.onTimer = [&](int) {
        timer.Stop();
        return 0;
    };
    timer.SetTimer(1);
    ASSERT_TRUE(timer.Start());
    KeptThread thread(timer.KeepThread());
    ASSERT_TRUE(thread.Ends());
    EXPECT_EQ(runnable.ticks.load(), 1);
    EXPECT_EQ(runnable.ends.load(), 1);
    timer.Stop();

    TickRecorder selfDeleting;
    auto* owned = new Timer(&selfDeleting, THREAD_PRIORITY_NORMAL);
    CEvent kept;
    selfDeleting.onTimer = [&](int) {
        WaitForSingleObject(kept, kLongMs);
        delete owned;  // the thread keeps what it still needs
        return 0;
    };
    owned->SetTimer(1);
    ASSERT_TRUE(owned->Start());
    KeptThread orphan(owned->KeepThread());
    kept.SetEvent();
    ASSERT_TRUE(orphan.Ends());
    EXPECT_EQ(selfDeleting.ticks.load(), 1);
    EXPECT_EQ(selfDeleting.ends.load(), 1);
}

TEST(TimerThreadTest, PriorityBelowNormalLowersTheThread) {
    const int processNice = getpriority(PRIO_PROCESS, 0);
    if (processNice >= 19) {
        GTEST_SKIP() << "the process runs at the lowest priority already";
    }
    TickRecorder runnable;
    Timer timer(&runnable, static_cast<UINT>(THREAD_PRIORITY_LOWEST));
    timer.SetTimer(-1);
    ASSERT_TRUE(timer.Start());
    ASSERT_TRUE(Eventually([&] { return runnable.starts == 1; }));
    EXPECT_GT(runnable.niceOnThread.load(), processNice);
}

TEST(TimerThreadTest, StopTerminatesATickBlockedInACancellationPoint) {
    ShortStopLimits limits(100, kLongMs);
    TickRecorder runnable;
    runnable.onTimer = [](int) -> HRESULT { BlockUntilCancelled(); };
    Timer timer(&runnable, THREAD_PRIORITY_NORMAL);
    timer.SetTimer(0);
    ASSERT_TRUE(timer.Start());
    ASSERT_TRUE(Eventually([&] { return runnable.ticks == 1; }));
    KeptThread thread(timer.KeepThread());
    timer.Stop();
    ASSERT_TRUE(thread.Ends());
    EXPECT_EQ(thread.ExitCode(), 0xFFFFFFFFu);
    EXPECT_EQ(runnable.ends.load(), 0);
}

}  // namespace

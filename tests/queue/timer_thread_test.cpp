// The timer thread: period changes, ending, stopping and forced termination.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <utility>

#include "RVUtil/CRVTimerThread.h"
#include "ThreadTestSupport.h"

namespace {

using namespace queue_test;
using Timer = Observable<RVUtil::CRVTimerThread>;

class TickRecorder : public RVUtil::IRVTimerThreadRunnable {
  public:
    HRESULT OnThreadStart() override {
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
};

TEST(TimerThreadTest, TicksWithoutPauseThroughExceptionsUntilStopped) {
    TickRecorder runnable;
    runnable.onTimer = [](int tick) -> HRESULT {
        return tick <= 2 ? throw std::runtime_error("tick fails") : 0;  // swallowed
    };
    Timer timer(&runnable, THREAD_PRIORITY_NORMAL);
    timer.SetTimer(0);
    ASSERT_TRUE(timer.Start());
    ASSERT_TRUE(Eventually([&] { return runnable.ticks >= 500; }));
    timer.Stop();
    const int ticks = runnable.ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(runnable.ticks.load(), ticks);
    EXPECT_EQ(runnable.starts.load(), 1);
    EXPECT_EQ(runnable.ends.load(), 1);
}

// Stop wakes a wait without end, so the loop ends by itself.
TEST(TimerThreadTest, NewPeriodTakesEffectAtTheNextWaitAndMinusOneWaitsWithoutEnd) {
    TickRecorder once;
    Timer slowing(&once, THREAD_PRIORITY_NORMAL);
    once.onTimer = [&](int) {
        slowing.SetTimer(-1);  // the next wait has no end
        return 0;
    };
    slowing.SetTimer(1);
    ASSERT_TRUE(slowing.Start());
    ASSERT_TRUE(Eventually([&] { return once.ticks == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(once.ticks.load(), 1);
    KeptThread thread(slowing.Recorded());
    slowing.Stop();
    EXPECT_EQ(thread.ExitCode(), 0u);
    EXPECT_EQ(once.ends.load(), 1);
}

// A failing OnTimer ends the loop after one tick; a failing OnThreadStart before any.
TEST(TimerThreadTest, FailuresEndTheLoop) {
    for (const bool failStart : {false, true}) {
        TickRecorder failing;
        failing.onTimer = [](int) { return -1; };
        failing.startStatus = failStart ? -1 : 0;
        Timer timer(&failing, THREAD_PRIORITY_NORMAL);
        timer.SetTimer(1);
        ASSERT_TRUE(timer.Start());
        KeptThread thread(timer.Recorded());
        ASSERT_TRUE(thread.Ends());
        EXPECT_EQ(thread.ExitCode(), 0u);
        EXPECT_EQ(std::pair(failing.ticks.load(), failing.ends.load()),
                  failStart ? std::pair(0, 0) : std::pair(1, 1));
    }
}

// Destruction runs Stop, so this also covers Stop called from inside a callback.
TEST(TimerThreadTest, DestructionFromInsideOnTimerReturnsAndEndsTheLoop) {
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
    KeptThread orphan(owned->Recorded());
    kept.SetEvent();
    ASSERT_TRUE(orphan.Ends());
    EXPECT_EQ(selfDeleting.ticks.load(), 1);
    EXPECT_EQ(selfDeleting.ends.load(), 1);
}

}  // namespace

// The queue's threads: the worker's callbacks, draining order, ending, stopping and forced
// termination; the timer's period changes, ending and stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <utility>
#include <vector>

#include "RVUtil/AfxException.h"
#include "RVUtil/CRVReqThread.h"
#include "RVUtil/CRVTimerThread.h"
#include "TestRequest.h"
#include "ThreadTestSupport.h"

namespace {

using namespace queue_test;
using RVUtil::CRVReqQueue;
using Worker = Observable<RVUtil::CRVReqThread>;

class Recorder : public RVUtil::IRVReqThreadRunnable {
  public:
    HRESULT GetReqQueue(CRVReqQueue** ppQueue) override {
        ++getQueues;
        EXPECT_EQ(*ppQueue, nullptr);
        *ppQueue = queue;
        return getQueueStatus;
    }
    HRESULT OnThreadStart() override {
        ++starts;
        if (throwOnStart) {
            throw std::runtime_error("start fails");
        }
        return startStatus;
    }
    HRESULT OnRequest(CObject* pReq) override {
        auto* request = static_cast<TestRequest*>(pReq);
        {
            std::lock_guard<std::mutex> lock(mutex);
            keys.push_back(request->key);
        }
        ++requests;
        return onRequest ? onRequest(request) : 0;
    }
    HRESULT OnThreadEnd() override {
        ++ends;
        return 0;
    }
    std::vector<int> Keys() {
        std::lock_guard<std::mutex> lock(mutex);
        return keys;
    }

    CRVReqQueue* queue = nullptr;
    HRESULT getQueueStatus = 0, startStatus = 0;
    bool throwOnStart = false;
    std::function<HRESULT(TestRequest*)> onRequest;
    std::atomic<int> getQueues{0}, starts{0}, requests{0}, ends{0};
    std::mutex mutex;
    std::vector<int> keys;
};

class ReqThreadTest : public ::testing::Test {
  protected:
    ReqThreadTest() { m_runnable.queue = &m_queue; }
    void TearDown() override {
        m_queue.ClearQueue();
        EXPECT_EQ(g_alive.load(), 0);
    }
    CRVReqQueue m_queue;
    Recorder m_runnable;
};

// Requests whose OnRequest throws are deleted like the others and the loop goes on.
TEST_F(ReqThreadTest, OneThreadDrainsEverythingInQueueOrderThroughExceptions) {
    m_queue.AddRequest(new TestRequest(0));  // before Start: its signal waits for the thread
    Worker worker(&m_runnable);
    worker.Stop();  // never started: returns at once
    m_runnable.onRequest = [](TestRequest* r) -> HRESULT {
        if (r->key % 64 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // busy while adds come
        }
        if (r->key % 100 == 1) {
            throw std::runtime_error("request fails");
        }
        if (r->key % 100 == 2) {
            throw new CException();  // on the heap: the guard deletes it
        }
        return 0;
    };
    ASSERT_TRUE(worker.Start());
    HANDLE first = worker.Recorded();
    EXPECT_TRUE(worker.Start());
    EXPECT_EQ(worker.Recorded(), first);
    constexpr int kTotal = 2000;
    for (int key = 1; key < kTotal; ++key) {
        m_queue.AddRequest(new TestRequest(key));
    }
    ASSERT_TRUE(Eventually([&] { return m_runnable.requests == kTotal; }));
    worker.Stop();
    EXPECT_EQ(worker.Recorded(), nullptr);
    std::vector<int> expected(kTotal);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(m_runnable.Keys(), expected);
    EXPECT_EQ(m_runnable.starts.load(), 1);
    EXPECT_EQ(m_runnable.ends.load(), 1);
    EXPECT_FALSE(Worker(nullptr).Start());  // no runnable, no thread
}

TEST_F(ReqThreadTest, NegativeStatusEndsTheLoopAndStartWaitsForStop) {
    m_runnable.onRequest = [](TestRequest* r) { return r->key == 1 ? -1 : 0; };
    m_queue.AddRequest(new TestRequest(1));
    m_queue.AddRequest(new TestRequest(2));
    Worker worker(&m_runnable);
    ASSERT_TRUE(worker.Start());
    KeptThread thread(worker.Recorded());
    ASSERT_TRUE(thread.Ends());
    EXPECT_EQ(thread.ExitCode(), 0u);
    EXPECT_EQ(m_runnable.ends.load(), 1);
    EXPECT_EQ(m_runnable.Keys(), std::vector<int>{1});
    EXPECT_EQ(g_alive.load(), 1);  // the failed request was deleted, the other one waits

    EXPECT_TRUE(worker.Start());  // ended, not idle: nothing new starts
    EXPECT_EQ(worker.Recorded(), thread.Handle());
    worker.Stop();  // well-defined although the thread is gone
    EXPECT_TRUE(worker.Start());
    ASSERT_TRUE(Eventually([&] { return m_runnable.requests == 2; }));
    EXPECT_EQ(m_runnable.starts.load(), 2);
}

TEST_F(ReqThreadTest, StopRequestWinsOverQueuedWorkAlsoFromInsideACallback) {
    for (bool fromInside : {false, true}) {
        SCOPED_TRACE(fromInside ? "Stop from inside OnRequest" : "stop event set meanwhile");
        Worker worker(&m_runnable);
        m_runnable.onRequest = [&](TestRequest*) {
            fromInside ? worker.Stop() : worker.RequestStop();  // Stop must not wait here
            return 0;
        };
        m_runnable.ends = 0;
        m_queue.AddRequest(new TestRequest(1));
        m_queue.AddRequest(new TestRequest(2));
        ASSERT_TRUE(worker.Start());
        KeptThread thread(worker.Recorded());
        ASSERT_TRUE(thread.Ends());
        EXPECT_EQ(m_runnable.ends.load(), 1);
        EXPECT_EQ(m_queue.GetQueueCount(), 1);  // the second request was not taken
        EXPECT_NE(worker.Recorded(), nullptr);  // cleared by the controlling thread's Stop
        worker.Stop();
        EXPECT_EQ(worker.Recorded(), nullptr);
        m_queue.ClearQueue();
    }
}

TEST_F(ReqThreadTest, FailedSetupEndsTheThreadWithoutFurtherCallbacks) {
    auto runOnce = [&]() -> DWORD {
        Worker worker(&m_runnable);
        EXPECT_TRUE(worker.Start());
        KeptThread thread(worker.Recorded());
        EXPECT_TRUE(thread.Ends());
        return thread.ExitCode();
    };
    m_runnable.getQueueStatus = -1;
    EXPECT_EQ(runOnce(), 0u);
    m_runnable.getQueueStatus = 0;
    m_runnable.queue = nullptr;  // success without a queue counts as failure
    EXPECT_EQ(runOnce(), 0u);
    EXPECT_EQ(m_runnable.starts.load(), 0);
    m_runnable.queue = &m_queue;
    m_runnable.startStatus = -5;
    EXPECT_EQ(runOnce(), 0u);
    m_runnable.throwOnStart = true;  // not caught by the loop; ends only the thread
    EXPECT_EQ(runOnce(), RVUtil::platform::THREAD_EXIT_UNCAUGHT_EXCEPTION);
    EXPECT_EQ(m_runnable.getQueues.load(), 4);
    EXPECT_EQ(m_runnable.ends.load(), 0);
}

TEST_F(ReqThreadTest, StopTerminatesARequestBlockedInACancellationPoint) {
    ShortStopLimits limits(100, kLongMs);
    m_runnable.onRequest = [](TestRequest*) -> HRESULT { BlockUntilCancelled(); };
    Worker worker(&m_runnable);
    ASSERT_TRUE(worker.Start());
    m_queue.AddRequest(new TestRequest(1));
    ASSERT_TRUE(Eventually([&] { return m_runnable.requests == 1; }));
    KeptThread thread(worker.Recorded());
    worker.Stop();
    ASSERT_TRUE(thread.Ends());
    EXPECT_EQ(thread.ExitCode(), 0xFFFFFFFFu);
    EXPECT_EQ(m_runnable.ends.load(), 0);  // no further chance to clean up
    EXPECT_EQ(g_alive.load(), 0);          // but the request it held was deleted on the way out
}

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

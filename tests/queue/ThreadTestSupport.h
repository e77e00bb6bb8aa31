#pragma once

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "RVUtil/WaitFunctions.h"
#include "platform/KernelObject.h"
#include "platform/ThreadObject.h"
#include "queue/ThreadControl.h"

namespace queue_test {

constexpr DWORD kLongMs = 10000;  // generous bound for anything that must happen

inline bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongMs);
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

// Sits in a cancellation point until the thread is cancelled. ThreadSanitizer loses track of
// a thread cancelled inside one of its intercepted blocking calls, so under it the thread
// polls for the cancellation instead of sleeping.
[[noreturn]] inline void BlockUntilCancelled() {
    for (;;) {
#if defined(__SANITIZE_THREAD__)
        pthread_testcancel();
        sched_yield();
#else
        pause();
#endif
    }
}

// A thread class with what a host cannot see: the recorded thread and the stop event.
template <class Thread>
class Observable : public Thread {
  public:
    using Thread::Thread;
    HANDLE Recorded() { return this->m_param.hThread; }
    void RequestStop() { this->m_param.evStop.SetEvent(); }
};

// A reference of the test's own to a thread, to wait on and read the exit code of even
// after Stop has forgotten it.
class KeptThread {
  public:
    explicit KeptThread(HANDLE thread) : m_thread(RVUtil::platform::DuplicateHandle(thread)) {}
    KeptThread(const KeptThread&) = delete;
    KeptThread& operator=(const KeptThread&) = delete;
    ~KeptThread() { RVUtil::platform::CloseHandle(m_thread); }
    bool Ends() { return WaitForSingleObject(m_thread, kLongMs) == WAIT_OBJECT_0; }
    DWORD ExitCode() {
        DWORD code = 0;
        RVUtil::platform::GetExitCodeThread(m_thread, &code);
        return code;
    }
    HANDLE Handle() const { return m_thread; }

  private:
    HANDLE m_thread;
};

// Shortens Stop's limits for one test; the product waits 5000 ms before terminating.
struct ShortStopLimits {
    ShortStopLimits(DWORD stopMs, DWORD graceMs) {
        RVUtil::queue::SetStopLimitsForTesting(std::chrono::milliseconds(stopMs),
                                               std::chrono::milliseconds(graceMs));
    }
    ~ShortStopLimits() {
        RVUtil::queue::SetStopLimitsForTesting(std::chrono::milliseconds(5000),
                                               std::chrono::milliseconds(1000));
    }
};

}  // namespace queue_test

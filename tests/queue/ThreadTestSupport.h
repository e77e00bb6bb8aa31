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

// Polls until the condition holds or kLongMs have passed; returns the condition.
inline bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Never returns: the calling thread sits in a cancellation point until it is cancelled.
// ThreadSanitizer loses track of a thread cancelled inside one of its intercepted blocking
// calls (its bookkeeping for the call is not unwound), so under it the thread polls for the
// cancellation instead of sleeping.
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

// Gives a thread class's tests what a host cannot see: the recorded thread and the stop
// event.
template <class Thread>
class Inspectable : public Thread {
  public:
    using Thread::Thread;
    // A reference of the test's own to the recorded thread (null when none), to wait on and
    // read the exit code of even after Stop.
    HANDLE KeepThread() { return RVUtil::platform::DuplicateHandle(this->m_param.hThread); }
    HANDLE Recorded() { return this->m_param.hThread; }
    void RequestStop() { this->m_param.evStop.SetEvent(); }
};

// A kept thread handle, given back at the end of the test.
class KeptThread {
  public:
    explicit KeptThread(HANDLE thread) : m_thread(thread) {}
    KeptThread(const KeptThread&) = delete;
    KeptThread& operator=(const KeptThread&) = delete;
    ~KeptThread() { RVUtil::platform::CloseHandle(m_thread); }
    bool Ends() { return WaitForSingleObject(m_thread, kLongMs) == WAIT_OBJECT_0; }
    DWORD ExitCode() {
        DWORD code = 0;
        RVUtil::platform::GetExitCodeThread(m_thread, &code);
        return code;
    }
    HANDLE get() const { return m_thread; }

  private:
    HANDLE m_thread;
};

// Shortens Stop's limits for one test: the product waits 5000 ms before terminating.
class ShortStopLimits {
  public:
    ShortStopLimits(DWORD stopMs, DWORD graceMs) {
        RVUtil::detail::SetStopLimitsForTesting(stopMs, graceMs);
    }
    ShortStopLimits(const ShortStopLimits&) = delete;
    ShortStopLimits& operator=(const ShortStopLimits&) = delete;
    ~ShortStopLimits() { RVUtil::detail::SetStopLimitsForTesting(5000, 1000); }
};

}  // namespace queue_test

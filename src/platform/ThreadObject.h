#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "RVUtil/WinTypes.h"
#include "platform/KernelObject.h"

namespace RVUtil::platform {

// Creation flag: the thread does not run its entry until ResumeThread.
constexpr DWORD CREATE_SUSPENDED = 4;
// Exit code of a thread whose entry let an exception out (the thread ends, the process
// goes on).
constexpr DWORD THREAD_EXIT_UNCAUGHT_EXCEPTION = 0xE06D7363u;

using ThreadEntry = UINT (*)(void*);

// For a function that catches abi::__forced_unwind to rethrow it: glibc's forced unwind
// carries no C++ object, so the handler's reference is bound to null (and never used), which
// the undefined-behaviour sanitizer would report.
#define RVUTIL_CATCHES_FORCED_UNWIND __attribute__((no_sanitize("null")))

// A thread the library starts. Its handle is signalled when the thread has ended. The
// thread itself holds a reference to this object until its very end, so the handle owner
// may close its handle at any time, and a thread that outlives its owner still has it.
//
// Termination is best effort: TerminateThread records the exit code and cancels the thread
// (pthread_cancel). The thread runs with cancellation disabled except inside a
// CancellationWindow, where the library calls a host's code; a thread blocked there in a
// cancellation point unwinds, one that never reaches one runs on, and once it is back in
// the library it sees CurrentThreadTerminated() and ends without calling the host again.
class ThreadObject final : public EventObject {
  public:
    ThreadObject(ThreadEntry entry, void* param, int priority, bool suspended);

    DWORD Resume();
    DWORD ExitCode() const { return m_exitCode.load(); }
    bool Terminate(DWORD exitCode);
    bool Terminated() const { return m_terminated.load(); }

    // Starts the pthread (detached); false when it cannot be created.
    bool Launch(UINT stackSize);

  private:
    ~ThreadObject() override = default;
    static void* Main(void* self);
    bool WaitUntilResumed();
    RVUTIL_CATCHES_FORCED_UNWIND UINT RunEntry();
    void ApplyPriority() const;
    void Finish(DWORD exitCode);

    const ThreadEntry m_entry;
    void* const m_param;
    const int m_priority;
    std::mutex m_mutex;
    std::condition_variable m_resumed;
    DWORD m_suspendCount;
    bool m_finished = false;
    pthread_t m_thread{};
    std::atomic<DWORD> m_exitCode;
    std::atomic<bool> m_terminated{false};
};

// Null when the thread cannot be created. The handle is the caller's to close.
HANDLE BeginThread(ThreadEntry entry, void* param, int priority, UINT stackSize, DWORD createFlags);
// The previous suspend count, or 0xFFFFFFFF for a handle that is not a thread.
DWORD ResumeThread(HANDLE thread);
// STILL_ACTIVE while running; the entry's result, or the code given to TerminateThread.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
// FALSE when the thread has already ended (or the handle is not a thread).
BOOL TerminateThread(HANDLE thread, DWORD exitCode);
bool IsCurrentThread(HANDLE thread);
// True on a library thread that TerminateThread has given up on.
bool CurrentThreadTerminated();

// Lets a forced termination reach the calling library thread while the host's code runs.
class CancellationWindow {
  public:
    CancellationWindow() { pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, &m_previous); }
    CancellationWindow(const CancellationWindow&) = delete;
    CancellationWindow& operator=(const CancellationWindow&) = delete;
    ~CancellationWindow() { pthread_setcancelstate(m_previous, nullptr); }

  private:
    int m_previous = PTHREAD_CANCEL_DISABLE;
};

}  // namespace RVUtil::platform

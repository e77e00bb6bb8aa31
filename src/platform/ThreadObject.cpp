#include "platform/ThreadObject.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cxxabi.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>

#include "RVUtil/AfxException.h"
#include "RVUtil/ThreadPriority.h"
#include "RVUtil/WaitFunctions.h"

namespace RVUtil::platform {

namespace {

thread_local ThreadObject* t_current = nullptr;

ThreadObject* ThreadFromHandle(HANDLE handle) {
    EventObject* object = EventObject::FromHandle(handle);
    if (object == nullptr || object->GetKind() != EventObject::Kind::Thread) {
        return nullptr;
    }
    return static_cast<ThreadObject*>(object);
}

// Nice offset for a framework priority: each step below normal is 5 nice levels, idle the
// weakest, time-critical the strongest.
int NiceOffset(int priority) {
    if (priority <= THREAD_PRIORITY_IDLE) {
        return 19;
    }
    if (priority >= THREAD_PRIORITY_TIME_CRITICAL) {
        return -20;
    }
    return std::clamp(-5 * priority, -20, 19);
}

}  // namespace

ThreadObject::ThreadObject(ThreadEntry entry, void* param, int priority, bool suspended)
    : EventObject(Kind::Thread, true, false),
      m_entry(entry),
      m_param(param),
      m_priority(priority),
      m_suspendCount(suspended ? 1 : 0),
      m_exitCode(STILL_ACTIVE) {}

bool ThreadObject::Launch(UINT stackSize) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        return false;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize > 0) {
        pthread_attr_setstacksize(&attr, std::max<std::size_t>(stackSize, PTHREAD_STACK_MIN));
    }
    AddRef();  // the thread's own, given back by Finish
    int rc = 0;
    {
        // Terminate reads m_thread under the lock.
        std::lock_guard<std::mutex> lock(m_mutex);
        rc = pthread_create(&m_thread, &attr, &ThreadObject::Main, this);
    }
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        Release();
        return false;
    }
    return true;
}

DWORD ThreadObject::Resume() {
    std::lock_guard<std::mutex> lock(m_mutex);
    const DWORD previous = m_suspendCount;
    if (m_suspendCount > 0 && --m_suspendCount == 0) {
        m_resumed.notify_all();
    }
    return previous;
}

bool ThreadObject::Terminate(DWORD exitCode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_finished) {
        return false;
    }
    DWORD active = STILL_ACTIVE;
    m_exitCode.compare_exchange_strong(active, exitCode);
    m_terminated.store(true);
    m_resumed.notify_all();  // a thread never resumed ends without running its entry
    // Safe while m_finished is false: the thread has not left Main, so it still exists.
    pthread_cancel(m_thread);
    return true;
}

void* ThreadObject::Main(void* arg) {
    auto* self = static_cast<ThreadObject*>(arg);
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    t_current = self;

    // Runs on a regular return and during a forced unwind alike.
    struct Finisher {
        ThreadObject* thread;
        DWORD exitCode = 0;
        ~Finisher() {
            pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
            thread->Finish(exitCode);
        }
    } finisher{self};

    self->ApplyPriority();
    if (self->WaitUntilResumed()) {
        finisher.exitCode = self->RunEntry();
    }
    return nullptr;
}

bool ThreadObject::WaitUntilResumed() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_resumed.wait(lock, [this] { return m_suspendCount == 0 || m_terminated.load(); });
    return !m_terminated.load();
}

UINT ThreadObject::RunEntry() {
    try {
        return m_entry(m_param);
    } catch (abi::__forced_unwind&) {
        throw;  // cancellation must unwind to the end of the thread
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return THREAD_EXIT_UNCAUGHT_EXCEPTION;
}

void ThreadObject::ApplyPriority() const {
    if (m_priority == THREAD_PRIORITY_NORMAL) {
        return;
    }
    errno = 0;
    const int base = getpriority(PRIO_PROCESS, 0);
    if (errno == 0) {
        // Per-thread on Linux; without the privilege to raise priority this simply fails.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()),
                    std::clamp(base + NiceOffset(m_priority), -20, 19));
    }
}

void ThreadObject::Finish(DWORD exitCode) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
    }
    DWORD active = STILL_ACTIVE;
    m_exitCode.compare_exchange_strong(active, exitCode);
    t_current = nullptr;
    Set();
    Release();
}

HANDLE BeginThread(ThreadEntry entry, void* param, int priority, UINT stackSize,
                   DWORD createFlags) {
    if (entry == nullptr) {
        return nullptr;
    }
    ThreadObject* thread = nullptr;
    try {
        thread = new ThreadObject(entry, param, priority, (createFlags & CREATE_SUSPENDED) != 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (CMemoryException* e) {
        e->Delete();
        return nullptr;
    }
    if (!thread->Launch(stackSize)) {
        thread->Release();
        return nullptr;
    }
    return thread->AsHandle();
}

DWORD ResumeThread(HANDLE thread) {
    ThreadObject* object = ThreadFromHandle(thread);
    return object == nullptr ? 0xFFFFFFFFu : object->Resume();
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
    ThreadObject* object = ThreadFromHandle(thread);
    if (object == nullptr || exitCode == nullptr) {
        return FALSE;
    }
    *exitCode = object->ExitCode();
    return TRUE;
}

BOOL TerminateThread(HANDLE thread, DWORD exitCode) {
    ThreadObject* object = ThreadFromHandle(thread);
    return object != nullptr && object->Terminate(exitCode) ? TRUE : FALSE;
}

bool IsCurrentThread(HANDLE thread) {
    ThreadObject* object = ThreadFromHandle(thread);
    return object != nullptr && object == t_current;
}

bool CurrentThreadTerminated() {
    return t_current != nullptr && t_current->Terminated();
}

}  // namespace RVUtil::platform

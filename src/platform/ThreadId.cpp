#include "RVUtil/ThreadId.h"

#include <pthread.h>
#include <unistd.h>

namespace {

// A thread's id never changes, and asking the kernel costs a system call (dear on
// virtual machines), so each thread asks once. A child made by fork starts as a copy of
// the forking thread, cache included; the atfork handler makes it ask anew.
thread_local DWORD t_threadId = 0;

void ForgetThreadIdInChild() {
    t_threadId = 0;
}

const bool kForkHandlerSet = pthread_atfork(nullptr, nullptr, ForgetThreadIdInChild) == 0;

}  // namespace

DWORD GetCurrentThreadId() {
    if (t_threadId == 0) {
        (void)kForkHandlerSet;
        t_threadId = static_cast<DWORD>(gettid());
    }
    return t_threadId;
}

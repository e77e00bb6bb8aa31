#include "queue/ThreadControl.h"

#include <atomic>

#include "RVUtil/WaitFunctions.h"
#include "platform/KernelObject.h"

namespace RVUtil::queue {

namespace {

constexpr DWORD kStopLimitMs = 5000;
constexpr DWORD kCancelGraceMs = 1000;
constexpr DWORD kTerminatedExitCode = 0xFFFFFFFFu;

std::atomic<DWORD> g_stopLimitMs{kStopLimitMs};
std::atomic<DWORD> g_cancelGraceMs{kCancelGraceMs};

}  // namespace

BOOL StartThread(ThreadParam& param, void* owner, platform::ThreadEntry entry, int priority) {
    if (param.hThread != nullptr) {
        return TRUE;
    }
    HANDLE thread = platform::BeginThread(entry, &param, priority, 0, platform::CREATE_SUSPENDED);
    if (thread == nullptr) {
        return FALSE;
    }
    // The thread reads pOwner first and may wait on evStop at once: both are set before it
    // runs.
    param.hThread = thread;
    param.evStop.ResetEvent();
    param.pOwner = owner;
    platform::ResumeThread(thread);
    return TRUE;
}

void StopThread(ThreadParam& param) {
    if (param.hThread == nullptr) {
        return;
    }
    param.evStop.SetEvent();
    if (platform::IsCurrentThread(param.hThread)) {
        // Waiting here would wait for this very thread. The loop sees the stop request once
        // the callback returns; the record stays until Stop runs on the controlling thread
        // (or the owner is destroyed).
        return;
    }
    // A thread that ended by itself is still recorded: the record holds its own reference to
    // the thread object, so the wait below succeeds at once and the handle is valid to close.
    if (WaitForSingleObject(param.hThread, g_stopLimitMs.load()) != WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        if (platform::GetExitCodeThread(param.hThread, &exitCode) && exitCode == STILL_ACTIVE) {
            platform::TerminateThread(param.hThread, kTerminatedExitCode);
            // A thread blocked in a cancellation point is gone within this grace; one that
            // never reaches one runs on, detached, with its own references to what it uses.
            WaitForSingleObject(param.hThread, g_cancelGraceMs.load());
        }
    }
    platform::CloseHandle(param.hThread);
    param.hThread = nullptr;
    param.pOwner = nullptr;
}

void ReleaseThreadRecord(ThreadParam& param) {
    if (param.hThread != nullptr) {
        platform::CloseHandle(param.hThread);
        param.hThread = nullptr;
        param.pOwner = nullptr;
    }
}

void SetStopLimitsForTesting(std::chrono::milliseconds stop,
                             std::chrono::milliseconds cancelGrace) {
    g_stopLimitMs.store(static_cast<DWORD>(stop.count()));
    g_cancelGraceMs.store(static_cast<DWORD>(cancelGrace.count()));
}

}  // namespace RVUtil::queue

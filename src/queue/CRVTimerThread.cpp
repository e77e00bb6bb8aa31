#include "RVUtil/CRVTimerThread.h"

#include "RVUtil/WaitFunctions.h"
#include "platform/KernelObject.h"
#include "platform/ThreadObject.h"
#include "queue/CallbackGuard.h"
#include "queue/ThreadControl.h"

namespace RVUtil {

IRVTimerThreadRunnable::~IRVTimerThreadRunnable() = default;

CRVTimerThread::CRVTimerThread(IRVTimerThreadRunnable* pRunnable, UINT nPriority)
    : m_pRunnable(pRunnable), m_nPriority(nPriority) {}

CRVTimerThread::~CRVTimerThread() {
    Stop();
    queue::ReleaseThreadRecord(m_param);
}

int CRVTimerThread::GetTimer() {
    return m_nTimer.load(std::memory_order_relaxed);
}

void CRVTimerThread::SetTimer(int nTimer) {
    m_nTimer.store(nTimer, std::memory_order_relaxed);
}

BOOL CRVTimerThread::Start() {
    if (m_param.hThread == nullptr && m_pRunnable == nullptr) {
        return FALSE;  // a thread without callbacks would have nothing to do
    }
    return queue::StartThread(m_param, this, &CRVTimerThread::ThreadProc,
                              static_cast<int>(m_nPriority));
}

void CRVTimerThread::Stop() {
    queue::StopThread(m_param);
}

UINT CRVTimerThread::ThreadProc(void* pParam) {
    auto* param = static_cast<ThreadParam*>(pParam);
    return static_cast<CRVTimerThread*>(param->pOwner)->OnThreadProc();
}

UINT CRVTimerThread::OnThreadProc() {
    // Taken before any callback, as in CRVReqThread: the thread keeps its own reference to
    // the stop event. The period is read from this object before every wait, but only after
    // checking the stop event, so a Stop (or destruction) from inside OnTimer is seen first.
    IRVTimerThreadRunnable* runnable = m_pRunnable;
    platform::OwnedHandle stop(m_param.evStop);
    const std::atomic<int>& period = m_nTimer;

    const HRESULT status = queue::CallUnguarded([&] { return runnable->OnThreadStart(); });
    if (platform::CurrentThreadTerminated() || status < 0) {
        return 0;
    }
    BOOL proceed = TRUE;
    while (proceed) {
        DWORD waited = WaitForSingleObject(stop.get(), 0);
        if (waited == WAIT_TIMEOUT) {
            // A negative period becomes a huge unsigned count; -1 is INFINITE.
            waited = WaitForSingleObject(
                stop.get(), static_cast<DWORD>(period.load(std::memory_order_relaxed)));
        }
        if (waited != WAIT_TIMEOUT) {
            proceed = FALSE;  // the stop request, or a failed wait
            continue;
        }
        HRESULT result = 0;
        if (queue::CallSwallowingExceptions([&] { result = runnable->OnTimer(); })) {
            proceed = result >= 0 ? TRUE : FALSE;
        }
        if (platform::CurrentThreadTerminated()) {
            return 0;  // given up on by Stop: the host's objects may be gone
        }
    }
    queue::CallUnguarded([&] { return runnable->OnThreadEnd(); });
    return 0;
}

}  // namespace RVUtil

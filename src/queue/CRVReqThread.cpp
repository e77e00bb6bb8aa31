#include "RVUtil/CRVReqThread.h"

#include <memory>

#include "RVUtil/CRVReqQueue.h"
#include "RVUtil/ThreadPriority.h"
#include "RVUtil/WaitFunctions.h"
#include "platform/KernelObject.h"
#include "platform/ThreadObject.h"
#include "queue/CallbackGuard.h"
#include "queue/ThreadControl.h"

namespace RVUtil {

IRVReqThreadRunnable::~IRVReqThreadRunnable() = default;

CRVReqThread::CRVReqThread(IRVReqThreadRunnable* pRunnable) : m_pRunnable(pRunnable) {}

CRVReqThread::~CRVReqThread() {
    Stop();
    queue::ReleaseThreadRecord(m_param);
}

BOOL CRVReqThread::Start() {
    if (m_param.hThread == nullptr && m_pRunnable == nullptr) {
        return FALSE;  // a thread without callbacks would have nothing to do
    }
    return queue::StartThread(m_param, this, &CRVReqThread::ThreadProc, THREAD_PRIORITY_NORMAL);
}

void CRVReqThread::Stop() {
    queue::StopThread(m_param);
}

UINT CRVReqThread::ThreadProc(void* pParam) {
    auto* param = static_cast<ThreadParam*>(pParam);
    return static_cast<CRVReqThread*>(param->pOwner)->OnThreadProc();
}

UINT CRVReqThread::OnThreadProc() {
    // Everything the thread needs from this object is taken now, before any callback: a
    // thread that Stop had to give up on may outlive the object, and a callback may even
    // destroy it. The stop event is kept alive by a reference of the thread's own.
    IRVReqThreadRunnable* runnable = m_pRunnable;
    platform::OwnedHandle stop(m_param.evStop);

    CRVReqQueue* queue = nullptr;
    HRESULT status = queue::CallUnguarded([&] { return runnable->GetReqQueue(&queue); });
    // A success that stored no queue is taken as a failure: there is nothing to wait on.
    if (platform::CurrentThreadTerminated() || status < 0 || queue == nullptr) {
        return 0;
    }
    status = queue::CallUnguarded([&] { return runnable->OnThreadStart(); });
    if (platform::CurrentThreadTerminated() || status < 0) {
        return 0;
    }

    // The stop event comes first, so a stop request wins over queued work.
    const HANDLE waits[2] = {stop.get(), queue->QueueEvent()};
    BOOL proceed = TRUE;
    while (proceed) {
        const DWORD signalled = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (signalled == WAIT_TIMEOUT) {
            continue;
        }
        if (signalled != WAIT_OBJECT_0 + 1) {
            break;  // the stop request, or a failed wait
        }
        CRVReqObject* taken = nullptr;
        if (!queue->RemoveRequest(&taken, 0)) {
            continue;
        }
        // Deleted whatever OnRequest does, also when a forced termination unwinds through here.
        std::unique_ptr<CRVReqObject> request(taken);
        HRESULT result = 0;
        if (queue::CallSwallowingExceptions([&] { result = runnable->OnRequest(request.get()); })) {
            proceed = result >= 0 ? TRUE : FALSE;
        }
        if (platform::CurrentThreadTerminated()) {
            return 0;  // given up on by Stop: the host's objects may be gone
        }
        request.reset();
        // One signal releases one wait: pass the wake-up on while requests remain.
        if (queue->GetQueueCount() > 0) {
            queue->SetEvent();
        }
    }
    queue::CallUnguarded([&] { return runnable->OnThreadEnd(); });
    return 0;
}

}  // namespace RVUtil

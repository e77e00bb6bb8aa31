#include "RVUtil/CRVReqQueue.h"

#include <memory>

// Decisions for input the queue does not expect:
// - A null request given to an add operation is refused: the add returns FALSE, the queue
//   and its event are left as they were.
// - A null out pointer given to RemoveRequest takes nothing out and returns FALSE; a null
//   request given to RemoveUnused changes nothing.
// - An exception from a request's IsSameRequest or IsInsertAfter (or a node that cannot be
//   allocated) reaches the caller with the lock released and the list consistent; the offered
//   request, which the queue already owns, is deleted.

namespace RVUtil {

namespace {

// Holds the queue's lock for a scope. The lock's own type is known here, so its calls bind
// directly instead of through CSingleLock's virtual ones.
class QueueLock {
  public:
    explicit QueueLock(CCriticalSection& lock) : m_lock(lock) { m_lock.CCriticalSection::Lock(); }
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;
    ~QueueLock() { m_lock.CCriticalSection::Unlock(); }

  private:
    CCriticalSection& m_lock;
};

CRVReqObject* AsRequest(CObject* object) {
    // Only the add operations put pointers in the list, and they take CRVReqObject pointers.
    return static_cast<CRVReqObject*>(object);
}

}  // namespace

CRVReqQueue::CRVReqQueue() = default;

CRVReqQueue::~CRVReqQueue() {
    ClearQueue();
}

BOOL CRVReqQueue::AddRequest(CRVReqObject* pReq) {
    if (pReq == nullptr) {
        return FALSE;
    }
    std::unique_ptr<CRVReqObject> offered(pReq);
    {
        QueueLock lock(m_csQueue);
        m_listReq.AddTail(offered.get());
        offered.release();
        CountChanged();
    }
    m_evQueue.SetEvent();
    return TRUE;
}

BOOL CRVReqQueue::AddRequest2(CRVReqObject* pReq, BOOL toHead) {
    if (pReq == nullptr) {
        return FALSE;
    }
    std::unique_ptr<CRVReqObject> offered(pReq);
    QueueLock lock(m_csQueue);
    if (POSITION twin = FindTwin(pReq); twin != nullptr) {
        offered.reset();  // the queued twin stands for it
        if (toHead && twin != m_listReq.GetHeadPosition()) {
            // Link the new head first: if that cannot be allocated, nothing has moved.
            m_listReq.AddHead(m_listReq.GetAt(twin));
            m_listReq.RemoveAt(twin);
        }
        return TRUE;
    }
    if (toHead) {
        m_listReq.AddHead(pReq);
    } else {
        m_listReq.AddTail(pReq);
    }
    offered.release();
    CountChanged();
    m_evQueue.SetEvent();
    return TRUE;
}

BOOL CRVReqQueue::AddRequest3(CRVReqObject* pReq) {
    if (pReq == nullptr) {
        return FALSE;
    }
    std::unique_ptr<CRVReqObject> offered(pReq);
    QueueLock lock(m_csQueue);
    DeleteTwin(pReq);
    POSITION after = nullptr;
    for (POSITION pos = m_listReq.GetHeadPosition(); pos != nullptr;) {
        POSITION at = pos;
        CObject* queued = m_listReq.GetNext(pos);
        if (queued != nullptr && AsRequest(queued)->IsInsertAfter(pReq)) {
            after = at;
            break;
        }
    }
    if (after != nullptr) {
        m_listReq.InsertAfter(after, pReq);
    } else {
        m_listReq.AddHead(pReq);  // nobody accepted it: the head, not the tail
    }
    offered.release();
    CountChanged();
    m_evQueue.SetEvent();
    return TRUE;
}

BOOL CRVReqQueue::RemoveRequest(CRVReqObject** ppReq, int /*nReserved*/) {
    if (ppReq == nullptr) {
        return FALSE;
    }
    CRVReqObject* taken = nullptr;
    {
        QueueLock lock(m_csQueue);
        if (m_listReq.GetCount() > 0) {
            taken = AsRequest(m_listReq.RemoveHead());
            CountChanged();
        }
    }
    *ppReq = taken;
    return taken != nullptr ? TRUE : FALSE;
}

void CRVReqQueue::RemoveUnused(CRVReqObject* pReq) {
    if (pReq == nullptr) {
        return;
    }
    QueueLock lock(m_csQueue);
    DeleteTwin(pReq);
}

void CRVReqQueue::DeleteTwin(CObject* offered) {
    if (POSITION twin = FindTwin(offered); twin != nullptr) {
        CObject* queued = m_listReq.GetAt(twin);
        m_listReq.RemoveAt(twin);
        CountChanged();
        delete queued;
    }
}

void CRVReqQueue::ClearQueue() {
    QueueLock lock(m_csQueue);
    while (m_listReq.GetCount() > 0) {
        CObject* queued = m_listReq.RemoveHead();
        CountChanged();
        delete queued;
    }
}

void CRVReqQueue::LockQueue() {
    m_csQueue.Lock();
}

void CRVReqQueue::UnlockQueue() {
    m_csQueue.Unlock();
}

HANDLE CRVReqQueue::QueueEvent() {
    return m_evQueue;
}

void CRVReqQueue::SetEvent() {
    m_evQueue.SetEvent();
}

POSITION CRVReqQueue::GetHeadPosition() {
    return m_listReq.GetHeadPosition();
}

CObject* CRVReqQueue::GetNext(POSITION& pos) {
    return m_listReq.GetNext(pos);
}

int CRVReqQueue::GetQueueCount() {
    return m_nCount.load(std::memory_order_relaxed);
}

void CRVReqQueue::RemoveAt(POSITION pos) {
    m_listReq.RemoveAt(pos);
    CountChanged();
}

POSITION CRVReqQueue::FindTwin(CObject* offered) {
    for (POSITION pos = m_listReq.GetHeadPosition(); pos != nullptr;) {
        POSITION at = pos;
        CObject* queued = m_listReq.GetNext(pos);
        if (queued != nullptr && AsRequest(queued)->IsSameRequest(offered)) {
            return at;
        }
    }
    return nullptr;
}

void CRVReqQueue::CountChanged() {
    m_nCount.store(static_cast<int>(m_listReq.GetCount()), std::memory_order_relaxed);
}

}  // namespace RVUtil

#pragma once

#include <atomic>

#include "RVUtil/CCriticalSection.h"
#include "RVUtil/CEvent.h"
#include "RVUtil/CObList.h"
#include "RVUtil/CRVReqObject.h"
#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

// A thread-safe queue of requests that producers on any thread fill and a consumer (usually
// a CRVReqThread) drains, woken by the queue's auto-reset event.
//
// The queue owns every request handed to an add operation: it deletes those it discards
// (a twin refused by AddRequest2, a twin replaced by AddRequest3, everything RemoveUnused,
// ClearQueue and the destructor remove) and hands ownership back only through
// RemoveRequest. A caller must not use a pointer after giving it to an add operation.
//
// Add, remove and clear operations hold the queue's re-entrant lock for their whole run,
// including the calls into the requests' tests and destructors. GetHeadPosition, GetNext,
// GetQueueCount, RemoveAt, QueueEvent and SetEvent take no lock: a caller that walks or edits
// the list brackets the walk with LockQueue and UnlockQueue.
class RVUTIL_API CRVReqQueue {
  public:
    CRVReqQueue();
    CRVReqQueue(const CRVReqQueue&) = delete;
    CRVReqQueue& operator=(const CRVReqQueue&) = delete;
    virtual ~CRVReqQueue();

    // Appends at the tail and signals the event after unlocking.
    BOOL AddRequest(CRVReqObject* pReq);
    // Drops pReq when a queued twin stands for it (moving the twin to the head if toHead),
    // without signalling; otherwise queues pReq at the head or the tail and signals.
    BOOL AddRequest2(CRVReqObject* pReq, BOOL toHead);
    // Replaces the first queued twin, then inserts pReq behind the first queued request whose
    // IsInsertAfter accepts it, or at the head; signals.
    BOOL AddRequest3(CRVReqObject* pReq);
    // Takes the head request out and hands it to the caller (null and FALSE when empty).
    // The second argument has no effect.
    BOOL RemoveRequest(CRVReqObject** ppReq, int nReserved);
    // Removes and deletes the first queued twin of pReq; pReq itself is left alone.
    void RemoveUnused(CRVReqObject* pReq);
    // Removes and deletes every queued request.
    void ClearQueue();

    void LockQueue();
    void UnlockQueue();

    HANDLE QueueEvent();
    void SetEvent();

    POSITION GetHeadPosition();
    // The request at pos; pos moves to the next one (null after the tail). A null pos raises
    // CInvalidArgException*.
    CObject* GetNext(POSITION& pos);
    // Readable without the lock, as a hint.
    int GetQueueCount();
    // Unlinks the request at pos without deleting it; the caller now owns it.
    void RemoveAt(POSITION pos);

  protected:
    CCriticalSection m_csQueue;
    CObList m_listReq{10};
    CEvent m_evQueue{FALSE, FALSE};

  private:
    POSITION FindTwin(CObject* offered);
    // Removes and deletes the queued twin of offered, if there is one. Under the lock.
    void DeleteTwin(CObject* offered);
    void CountChanged();

    // The list's count, mirrored so that GetQueueCount may read it while another thread
    // changes the list under the lock.
    std::atomic<int> m_nCount{0};
};

}  // namespace RVUtil

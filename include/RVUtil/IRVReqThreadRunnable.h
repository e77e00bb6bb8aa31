#pragma once

#include "RVUtil/CObject.h"
#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

class CRVReqQueue;

// The host's side of a CRVReqThread. All four run on the worker thread; each returns a
// status where a value below zero is a failure.
class RVUTIL_API IRVReqThreadRunnable {
  public:
    // Called first; stores the queue to serve through ppQueue (preset to null). Failure, or
    // success without a queue, ends the thread with no further callback.
    virtual HRESULT GetReqQueue(CRVReqQueue** ppQueue) = 0;
    // Called once after GetReqQueue; failure ends the thread without OnThreadEnd.
    virtual HRESULT OnThreadStart() = 0;
    // Called for each request taken from the queue; the worker deletes the request afterwards.
    // Failure ends the loop; an exception is swallowed and the loop goes on.
    virtual HRESULT OnRequest(CObject* pReq) = 0;
    // Called once when the loop has ended; its status is ignored.
    virtual HRESULT OnThreadEnd() = 0;

    virtual ~IRVReqThreadRunnable();
};

}  // namespace RVUtil

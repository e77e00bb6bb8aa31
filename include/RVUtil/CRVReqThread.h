#pragma once

#include "RVUtil/Export.h"
#include "RVUtil/IRVReqThreadRunnable.h"
#include "RVUtil/ThreadParam.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

// A worker thread that drains the host's CRVReqQueue: it sleeps until a request is queued or
// it is told to stop, takes requests one at a time from the head, hands each to the
// runnable's OnRequest and deletes it afterwards.
//
// Start and Stop are called from one controlling thread. Once the loop has ended by itself
// (a callback failed), Start returns TRUE without starting anything until Stop is called.
class RVUTIL_API CRVReqThread {
  public:
    // The runnable is not owned and must outlive the thread.
    explicit CRVReqThread(IRVReqThreadRunnable* pRunnable);
    CRVReqThread(const CRVReqThread&) = delete;
    CRVReqThread& operator=(const CRVReqThread&) = delete;
    // Stops the thread.
    virtual ~CRVReqThread();

    // TRUE when the thread runs (also when it ran already); FALSE when it cannot be created
    // or there is no runnable.
    BOOL Start();
    // Asks the thread to stop and waits for it up to 5000 ms, then terminates it. Called from
    // inside a callback, it only asks and returns.
    void Stop();

  protected:
    static UINT ThreadProc(void* pParam);
    UINT OnThreadProc();

    IRVReqThreadRunnable* m_pRunnable;
    ThreadParam m_param;
};

}  // namespace RVUtil

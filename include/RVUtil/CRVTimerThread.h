#pragma once

#include <atomic>

#include "RVUtil/Export.h"
#include "RVUtil/IRVTimerThreadRunnable.h"
#include "RVUtil/ThreadParam.h"
#include "RVUtil/ThreadPriority.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

// A thread that calls the runnable's OnTimer after every pause of GetTimer() milliseconds
// (1000 to begin with) until it is told to stop. The pause runs from the end of one tick to
// the next, so ticks drift by the time OnTimer takes. A negative period is an unsigned count:
// -1 waits without end.
//
// Start, Stop, SetTimer and the destructor are called from one controlling thread. Once the
// loop has ended by itself, Start returns TRUE without starting anything until Stop.
class RVUTIL_API CRVTimerThread {
  public:
    // The runnable is not owned and must outlive the thread; priority is one of the
    // THREAD_PRIORITY_ values.
    CRVTimerThread(IRVTimerThreadRunnable* pRunnable, UINT nPriority);
    CRVTimerThread(const CRVTimerThread&) = delete;
    CRVTimerThread& operator=(const CRVTimerThread&) = delete;
    // Stops the thread.
    virtual ~CRVTimerThread();

    int GetTimer();
    // Takes effect at the next wait of a running thread; the current wait is not cut short.
    void SetTimer(int nTimer);

    BOOL Start();
    void Stop();

  protected:
    static UINT ThreadProc(void* pParam);
    UINT OnThreadProc();

    std::atomic<int> m_nTimer{1000};
    IRVTimerThreadRunnable* m_pRunnable;
    ThreadParam m_param;
    UINT m_nPriority;
};

}  // namespace RVUtil

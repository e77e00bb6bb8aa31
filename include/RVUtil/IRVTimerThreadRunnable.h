#pragma once

#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

// The host's side of a CRVTimerThread. All three run on the timer thread; each returns a
// status where a value below zero is a failure.
class RVUTIL_API IRVTimerThreadRunnable {
  public:
    // Called once, first; failure ends the thread without OnThreadEnd.
    virtual HRESULT OnThreadStart() = 0;
    // Called once per period; failure ends the loop, an exception is swallowed.
    virtual HRESULT OnTimer() = 0;
    // Called once when the loop has ended; its status is ignored.
    virtual HRESULT OnThreadEnd() = 0;

    virtual ~IRVTimerThreadRunnable();
};

}  // namespace RVUtil

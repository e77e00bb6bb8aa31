#pragma once

#include "RVUtil/CCriticalSection.h"
#include "RVUtil/Export.h"
#include "RVUtil/WaitFunctions.h"
#include "RVUtil/WinTypes.h"

// An unnamed event. Auto-reset: a wait that sees it signalled consumes it, so one signal
// releases one waiter. Manual reset: it stays signalled until ResetEvent. Creating the
// underlying kernel object can fail only for want of descriptors or memory, which raises
// CMemoryException*.
class RVUTIL_API CEvent : public CSyncObject {
  public:
    explicit CEvent(BOOL initiallyOwn = FALSE, BOOL manualReset = FALSE);
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;
    ~CEvent() override;

    BOOL SetEvent();
    BOOL ResetEvent();

    // TRUE when the event was signalled within timeoutMs (and, auto-reset, consumed).
    BOOL Lock(DWORD timeoutMs = INFINITE) override;
    // Nothing to release: an event is not owned.
    BOOL Unlock() override;

    // For the wait functions. Valid for the life of this object.
    operator HANDLE() const { return m_hObject; }

  private:
    HANDLE m_hObject;
};

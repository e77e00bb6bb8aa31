#pragma once

#include <mutex>

#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

// Something a CSingleLock can hold.
class RVUTIL_API CSyncObject {
  public:
    virtual ~CSyncObject();
    // TRUE when acquired within timeoutMs.
    virtual BOOL Lock(DWORD timeoutMs = INFINITE) = 0;
    virtual BOOL Unlock() = 0;
};

// A recursive mutex: the thread that holds it may enter it again.
class RVUTIL_API CCriticalSection : public CSyncObject {
  public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;
    ~CCriticalSection() override;

    // A critical section has no time-out: any value waits until it is entered.
    BOOL Lock(DWORD timeoutMs = INFINITE) override;
    BOOL Unlock() override;

  private:
    std::recursive_mutex m_mutex;
};

// Scoped hold of a sync object; releases it on destruction if still held.
class RVUTIL_API CSingleLock {
  public:
    explicit CSingleLock(CSyncObject* object, BOOL initialLock = FALSE);
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;
    ~CSingleLock();

    BOOL Lock(DWORD timeoutMs = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const { return m_bAcquired; }

  private:
    CSyncObject* m_pObject;
    BOOL m_bAcquired = FALSE;
};

#include "RVUtil/CCriticalSection.h"

CSyncObject::~CSyncObject() = default;
CCriticalSection::~CCriticalSection() = default;

BOOL CCriticalSection::Lock(DWORD /*timeoutMs*/) {
    m_mutex.lock();
    return TRUE;
}

BOOL CCriticalSection::Unlock() {
    m_mutex.unlock();
    return TRUE;
}

CSingleLock::CSingleLock(CSyncObject* object, BOOL initialLock) : m_pObject(object) {
    if (initialLock) {
        Lock();
    }
}

CSingleLock::~CSingleLock() {
    Unlock();
}

BOOL CSingleLock::Lock(DWORD timeoutMs) {
    if (m_pObject == nullptr || m_bAcquired) {
        return m_bAcquired;
    }
    m_bAcquired = m_pObject->Lock(timeoutMs);
    return m_bAcquired;
}

BOOL CSingleLock::Unlock() {
    if (m_pObject != nullptr && m_bAcquired) {
        m_bAcquired = !m_pObject->Unlock();
    }
    return !m_bAcquired;
}

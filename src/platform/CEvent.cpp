#include "RVUtil/CEvent.h"

#include "platform/KernelObject.h"

#include <new>

#include "RVUtil/AfxException.h"

using RVUtil::platform::EventObject;

namespace {

HANDLE CreateEvent(bool manualReset, bool initiallySet) {
    try {
        return (new EventObject(EventObject::Kind::Event, manualReset, initiallySet))->AsHandle();
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

}  // namespace

CEvent::CEvent(BOOL initiallyOwn, BOOL manualReset)
    : m_hObject(CreateEvent(manualReset != FALSE, initiallyOwn != FALSE)) {}

CEvent::~CEvent() {
    RVUtil::platform::CloseHandle(m_hObject);
}

// The handle is this object's own event, so it needs no checking.
BOOL CEvent::SetEvent() {
    static_cast<EventObject*>(m_hObject)->Set();
    return TRUE;
}

BOOL CEvent::ResetEvent() {
    static_cast<EventObject*>(m_hObject)->Reset();
    return TRUE;
}

BOOL CEvent::Lock(DWORD timeoutMs) {
    return WaitForSingleObject(m_hObject, timeoutMs) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

BOOL CEvent::Unlock() {
    return TRUE;
}

#include "RVUtil/CEvent.h"

#include "platform/KernelObject.h"

#include <new>

#include "RVUtil/AfxException.h"

using RVUtil::platform::EventObject;

namespace {

HANDLE createEvent(bool manualReset, bool initiallySet) {
    try {
        return (new EventObject(EventObject::Kind::Event, manualReset, initiallySet))->AsHandle();
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

}  // namespace

CEvent::CEvent(BOOL initiallyOwn, BOOL manualReset)
    : m_hObject(createEvent(manualReset != FALSE, initiallyOwn != FALSE)) {}

CEvent::~CEvent() {
    RVUtil::platform::CloseHandle(m_hObject);
}

BOOL CEvent::SetEvent() {
    return ::SetEvent(m_hObject);
}

BOOL CEvent::ResetEvent() {
    return ::ResetEvent(m_hObject);
}

BOOL CEvent::Lock(DWORD timeoutMs) {
    return WaitForSingleObject(m_hObject, timeoutMs) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

BOOL CEvent::Unlock() {
    return TRUE;
}

#include "RVUtil/WaitFunctions.h"

#include "platform/KernelObject.h"

using RVUtil::platform::EventObject;

static_assert(MAXIMUM_WAIT_OBJECTS <= EventObject::kMaxWaitObjects);

DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs) {
    return WaitForMultipleObjects(1, &handle, FALSE, timeoutMs);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr ||
        (waitAll && count > 1)) {
        return WAIT_FAILED;
    }
    EventObject* objects[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        objects[i] = EventObject::FromHandle(handles[i]);
        if (objects[i] == nullptr) {
            return WAIT_FAILED;
        }
    }
    const EventObject::WaitResult result = EventObject::WaitAny(objects, count, timeoutMs);
    switch (result.outcome) {
        case EventObject::WaitResult::Outcome::Signalled:
            return WAIT_OBJECT_0 + result.index;
        case EventObject::WaitResult::Outcome::TimedOut:
            return WAIT_TIMEOUT;
        case EventObject::WaitResult::Outcome::Failed:
            break;
    }
    return WAIT_FAILED;
}

BOOL SetEvent(HANDLE event) {
    EventObject* object = EventObject::FromHandle(event);
    if (object == nullptr || object->GetKind() != EventObject::Kind::Event) {
        return FALSE;
    }
    object->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    EventObject* object = EventObject::FromHandle(event);
    if (object == nullptr || object->GetKind() != EventObject::Kind::Event) {
        return FALSE;
    }
    object->Reset();
    return TRUE;
}

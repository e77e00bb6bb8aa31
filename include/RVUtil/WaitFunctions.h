#pragma once

#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

// Waits on the library's kernel objects: events (CEvent) and the threads the library starts.
// A thread object is signalled once the thread has ended. Time-outs are in milliseconds;
// INFINITE waits without end.

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED_0 = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Exit code reported while a thread is still running.
constexpr DWORD STILL_ACTIVE = 259;

// WAIT_OBJECT_0 when the object is signalled within timeoutMs, WAIT_TIMEOUT when not, and
// WAIT_FAILED for a null handle. An auto-reset event is consumed by the wait that reports it.
RVUTIL_API DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs);

// Waits until any of the count objects is signalled and reports WAIT_OBJECT_0 + the lowest
// signalled index; only that object is consumed. WAIT_FAILED for a count of 0 or above
// MAXIMUM_WAIT_OBJECTS, a null array or handle, and for waitAll TRUE with more than one
// object (waiting for all at once is not offered).
RVUTIL_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                        DWORD timeoutMs);

// Signal and unsignal an event; FALSE for a null handle or one that is not an event.
RVUTIL_API BOOL SetEvent(HANDLE event);
RVUTIL_API BOOL ResetEvent(HANDLE event);

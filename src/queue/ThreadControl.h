#pragma once

#include <chrono>

#include "RVUtil/ThreadParam.h"
#include "RVUtil/WinTypes.h"
#include "platform/ThreadObject.h"

namespace RVUtil::queue {

// The start and stop rules that CRVReqThread and CRVTimerThread share.

// Creates the thread suspended, records it, resets the stop event, sets the owner and only
// then lets it run. TRUE also when a thread is recorded already.
BOOL StartThread(ThreadParam& param, void* owner, platform::ThreadEntry entry, int priority);

// Signals the stop event and waits for the thread; one still running after the stop limit
// is terminated. Clears the record. Called on the recorded thread itself, it only signals.
void StopThread(ThreadParam& param);

// For destructors: gives back the record's handle if Stop left it (Stop called from inside a
// callback); the thread holds its own reference and ends by itself.
void ReleaseThreadRecord(ThreadParam& param);

// How long Stop waits for a thread before terminating it (5000 ms), and how long it then
// waits for a cancelled thread to unwind before leaving it to itself (1000 ms). Only tests
// change them.
void SetStopLimitsForTesting(std::chrono::milliseconds stop, std::chrono::milliseconds cancelGrace);

}  // namespace RVUtil::queue

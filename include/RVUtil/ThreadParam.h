#pragma once

#include "RVUtil/CEvent.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

// The record a worker or timer thread receives at start.
struct ThreadParam {
    // The running thread; null when no thread has been started (or since Stop).
    HANDLE hThread = nullptr;
    // Stop request: auto-reset, initially not signalled.
    CEvent evStop{FALSE, FALSE};
    // The CRVReqThread or CRVTimerThread that started the thread; set by Start, cleared by
    // Stop.
    void* pOwner = nullptr;
};

}  // namespace RVUtil

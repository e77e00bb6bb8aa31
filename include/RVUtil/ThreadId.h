#pragma once

#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

// The kernel thread id of the calling thread (what /proc/self/task lists).
RVUTIL_API DWORD GetCurrentThreadId();

#pragma once

#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

// Names a thread of this process for debuggers and tools (ps, top, gdb). dwThreadID is a
// kernel thread id as GetCurrentThreadId() gives it; 0xFFFFFFFF names the calling thread.
// The kernel keeps the first 15 bytes of the name. An id that names no thread of this
// process, or a null name, is ignored; the function never fails.
RVUTIL_API void SetThreadName(DWORD dwThreadID, const char* threadName);

}  // namespace RVUtil

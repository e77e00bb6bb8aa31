#include "RVUtil/ThreadName.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "RVUtil/ThreadId.h"

namespace RVUtil {

namespace {

// The thread id that, by the debugger convention hosts follow, means "the caller".
constexpr DWORD kCallingThread = 0xFFFFFFFF;
// The kernel keeps 16 bytes of a thread's name, the terminator included.
constexpr std::size_t kMaxNameLength = 15;

}  // namespace

void SetThreadName(DWORD dwThreadID, const char* threadName) {
    if (threadName == nullptr) {
        return;
    }
    const DWORD tid = dwThreadID == kCallingThread ? GetCurrentThreadId() : dwThreadID;
    char path[48];
    std::snprintf(path, sizeof path, "/proc/self/task/%u/comm", tid);
    // Only threads of this process are listed there: any other id fails to open and is
    // ignored, as naming is only ever a help for debugging.
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    const ssize_t written = ::write(fd, threadName, ::strnlen(threadName, kMaxNameLength));
    (void)written;
    ::close(fd);
}

}  // namespace RVUtil

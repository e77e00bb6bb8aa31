#include "RVUtil/ThreadName.h"

#include <fcntl.h>
#include <sys/prctl.h>
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
    const DWORD self = GetCurrentThreadId();
    const DWORD tid = dwThreadID == kCallingThread ? self : dwThreadID;
    if (tid == self) {
        // The calling thread names itself without a trip through /proc, and only when the
        // name changes: the curl read function names its thread on every call, and a
        // rename costs the kernel far more than the look.
        char name[kMaxNameLength + 1] = {};
        std::memcpy(name, threadName, ::strnlen(threadName, kMaxNameLength));
        char current[kMaxNameLength + 1] = {};
        if (::prctl(PR_GET_NAME, current, 0, 0, 0) != 0 || std::strcmp(current, name) != 0) {
            ::prctl(PR_SET_NAME, name, 0, 0, 0);
        }
        return;
    }
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

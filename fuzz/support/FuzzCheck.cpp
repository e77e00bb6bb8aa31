#include "FuzzCheck.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace rvfuzz {
namespace {

// Standard error as it was when the process started: the end-to-end targets run with
// libFuzzer's -close_fd_mask=2, which silences the library's log records on descriptor 2.
const int g_reportFd = ::dup(STDERR_FILENO);

}  // namespace

void Report(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length > 0 && g_reportFd >= 0) {
        (void)!::write(g_reportFd, text,
                       std::min(static_cast<std::size_t>(length), sizeof text - 1));
    }
}

void CheckFailed(const char* condition, const char* file, int line) {
    Report("==FUZZ CHECK FAILED== %s:%d: %s\n", file, line, condition);
    std::abort();
}

}  // namespace rvfuzz

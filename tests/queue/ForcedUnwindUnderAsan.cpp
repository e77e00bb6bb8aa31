// AddressSanitizer as shipped with GCC 12 reads the alternate signal stack through its own
// checked sigaltstack wrapper inside __asan_handle_no_return. A thread cancellation unwinds
// instrumented frames without running their epilogues, so their poisoned stack shadow stays
// behind; the next landing pad's __asan_handle_no_return can then find its own local on that
// stale poison and report a stack-use-after-scope that does not exist. Defining sigaltstack
// in the test program (it interposes on the sanitizer's wrapper) takes the check out of that
// path. Suites that terminate threads link this file.
#if defined(__SANITIZE_ADDRESS__)
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" __attribute__((visibility("default"))) int sigaltstack(const stack_t* stack,
                                                                  stack_t* previous) noexcept {
    return static_cast<int>(syscall(SYS_sigaltstack, stack, previous));
}
#endif

#pragma once

#include <cxxabi.h>

#include "RVUtil/AfxException.h"
#include "platform/ThreadObject.h"

namespace RVUtil::queue {

// Runs one host callback on a worker or timer thread where a forced termination can reach
// it. Returns false when the callback raised an exception, which is swallowed (a framework
// exception is deleted); a forced unwind always passes on, or the thread could not end.
template <class Callback>
RVUTIL_CATCHES_FORCED_UNWIND bool CallSwallowingExceptions(Callback&& callback) {
    platform::CancellationWindow window;
    try {
        callback();
        return true;
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return false;
}

// Runs one host callback whose exceptions are not caught here.
template <class Callback>
auto CallUnguarded(Callback&& callback) {
    platform::CancellationWindow window;
    return callback();
}

}  // namespace RVUtil::queue

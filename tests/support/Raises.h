#pragma once

namespace rvtest {

// True when f raised the framework exception E (thrown by pointer, as the framework does).
template <class E, class F>
bool Raises(F&& f) {
    try {
        f();
    } catch (E* e) {
        e->Delete();
        return true;
    }
    return false;
}

}  // namespace rvtest

#pragma once

#include <sys/resource.h>
#include <unistd.h>

namespace rvtest {

// While it lives, the process may open no further file descriptor: the limit is set to
// the lowest free one. Armed() tells whether that worked; the old limit comes back after.
class NoFreeDescriptors {
  public:
    NoFreeDescriptors() {
        const int lowestFree = dup(0);
        if (lowestFree < 0 || getrlimit(RLIMIT_NOFILE, &m_old) != 0) {
            return;
        }
        close(lowestFree);
        rlimit tight = m_old;
        tight.rlim_cur = static_cast<rlim_t>(lowestFree);
        m_armed = setrlimit(RLIMIT_NOFILE, &tight) == 0;
    }
    ~NoFreeDescriptors() {
        if (m_armed) {
            setrlimit(RLIMIT_NOFILE, &m_old);
        }
    }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

    bool Armed() const { return m_armed; }

  private:
    rlimit m_old{};
    bool m_armed = false;
};

}  // namespace rvtest

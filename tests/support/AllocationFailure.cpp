#include "AllocationFailure.h"

#include <cstdlib>
#include <new>

namespace {

// Per thread, so that a server thread of the same test keeps allocating normally.
thread_local std::size_t t_countdown = 0;  // 0: disarmed
thread_local std::size_t t_refused = 0;

// Counts down to the nth allocation, then stays there: it and every one after it fail.
bool RefuseThisOne() {
    if (t_countdown > 1) {
        --t_countdown;
    } else if (t_countdown == 1) {
        ++t_refused;
        return true;
    }
    return false;
}

void* Allocate(std::size_t size) noexcept {
    return RefuseThisOne() ? nullptr : std::malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace rvtest {

FailAllocationsFrom::FailAllocationsFrom(std::size_t nth) {
    t_refused = 0;
    t_countdown = nth == 0 ? 1 : nth;
}

FailAllocationsFrom::~FailAllocationsFrom() {
    t_countdown = 0;
}

std::size_t FailAllocationsFrom::Refused() const {
    return t_refused;
}

}  // namespace rvtest

void* operator new(std::size_t size) {
    void* p = Allocate(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

#pragma once

#include <cstddef>

namespace rvtest {

// Makes the nth operator new of the calling thread (counting from 1) fail, and every one
// after it while the object lives: the throwing forms raise std::bad_alloc, the nothrow
// forms return null. Other threads and malloc are not affected. Linking this replaces the
// global operator new of the test program; without an armed object it only counts.
class FailAllocationsFrom {
  public:
    explicit FailAllocationsFrom(std::size_t nth);
    ~FailAllocationsFrom();
    FailAllocationsFrom(const FailAllocationsFrom&) = delete;
    FailAllocationsFrom& operator=(const FailAllocationsFrom&) = delete;

    // How many allocations were refused so far.
    std::size_t Refused() const;
};

}  // namespace rvtest

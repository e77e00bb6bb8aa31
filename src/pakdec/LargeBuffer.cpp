#include "pakdec/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdint>

namespace RVUtil {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
// Below this the faults are few and the advice not worth a system call.
constexpr std::size_t kMinAdvisedSize = std::size_t{8} << 20;

}  // namespace

void AdviseLargeBuffer(void* data, std::size_t size) {
    if (data == nullptr || size < kMinAdvisedSize) {
        return;
    }
    // Only whole huge pages inside the buffer: the allocator owns the bytes around it.
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
    if (last > first) {
        (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

}  // namespace RVUtil

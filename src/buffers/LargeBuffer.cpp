#include "buffers/LargeBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace RVUtil::buffers {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
// Below this the faults are few, and advice or release not worth a system call.
constexpr std::size_t kMinAdvisedSize = std::size_t{8} << 20;

std::uintptr_t PageSize() {
    static const auto kSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    return kSize;
}

std::uintptr_t RoundUp(std::uintptr_t value, std::uintptr_t unit) {
    return (value + unit - 1) & ~(unit - 1);
}

std::uintptr_t RoundDown(std::uintptr_t value, std::uintptr_t unit) {
    return value & ~(unit - 1);
}

void Advise(std::uintptr_t first, std::uintptr_t last, int advice) {
    if (last > first) {
        (void)::madvise(reinterpret_cast<void*>(first), last - first, advice);
    }
}

// Copies n bytes and gives back every whole page of src once it is copied. The pieces end on
// huge-page boundaries of src, so each release frees whole huge pages.
void CopyReleasing(std::uint8_t* dst, std::uint8_t* src, std::size_t n) {
    if (n < kMinAdvisedSize) {
        if (n > 0) {
            std::memcpy(dst, src, n);
        }
        return;
    }
    std::size_t done = 0;
    while (done < n) {
        const auto at = reinterpret_cast<std::uintptr_t>(src + done);
        const std::size_t piece = std::min<std::size_t>(n - done, kHugePage - (at % kHugePage));
        std::memcpy(dst + done, src + done, piece);
        ReleasePages(src + done, piece);
        done += piece;
    }
}

}  // namespace

void AdviseLargeBuffer(void* data, std::size_t size) {
    if (data == nullptr || size < kMinAdvisedSize) {
        return;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    Advise(RoundUp(begin, kHugePage), RoundDown(begin + size, kHugePage), MADV_HUGEPAGE);
}

void ReleasePages(void* data, std::size_t size) {
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    Advise(RoundUp(begin, PageSize()), RoundDown(begin + size, PageSize()), MADV_DONTNEED);
}

GrowingOutput::GrowingOutput(std::size_t capacity) : m_capacity(capacity) {
    // Huge pages need huge-page alignment: one huge page more is mapped and trimmed off.
    const bool huge = capacity >= kMinAdvisedSize;
    const std::uintptr_t unit = huge ? kHugePage : PageSize();
    const std::size_t length = RoundUp(std::max<std::size_t>(capacity, 1), unit);
    const std::size_t slack = huge ? kHugePage : 0;
    void* mapped =
        ::mmap(nullptr, length + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = RoundUp(begin, unit);
    if (aligned > begin) {
        (void)::munmap(mapped, aligned - begin);
    }
    if (begin + slack > aligned) {
        (void)::munmap(reinterpret_cast<void*>(aligned + length), begin + slack - aligned);
    }
    m_data = reinterpret_cast<std::uint8_t*>(aligned);
    m_mapped = length;
    if (huge) {
        Advise(aligned, aligned + length, MADV_HUGEPAGE);
    }
}

GrowingOutput::~GrowingOutput() {
    (void)::munmap(m_data, m_mapped);
}

std::unique_ptr<std::uint8_t[]> HandOver(std::initializer_list<std::span<std::uint8_t>> parts) {
    std::size_t total = 0;
    for (const std::span<std::uint8_t> part : parts) {
        total += part.size();
    }
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[total]);
    AdviseLargeBuffer(out.get(), total);
    std::size_t at = 0;
    for (const std::span<std::uint8_t> part : parts) {
        CopyReleasing(out.get() + at, part.data(), part.size());
        at += part.size();
    }
    return out;
}

}  // namespace RVUtil::buffers

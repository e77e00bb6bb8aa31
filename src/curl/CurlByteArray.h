#pragma once

#include <cstddef>
#include <string_view>

#include "RVUtil/WinTypes.h"

namespace RVUtil::curl {

// The growable byte store behind a fetcher's body and raw header block. It is filled from
// inside libcurl's callbacks, so nothing here throws: a growth that cannot be made is
// reported by Append's result and leaves the contents as they were. Clear keeps the memory
// for the next transfer; only Release gives it back.
class CurlByteArray {
  public:
    // Bodies are reported through 32-bit signed sizes, so no array grows past this.
    static constexpr std::size_t kDefaultMaxSize = 0x7FFFFFFF;

    CurlByteArray() = default;
    CurlByteArray(const CurlByteArray&) = delete;
    CurlByteArray& operator=(const CurlByteArray&) = delete;
    ~CurlByteArray();

    BYTE* Data() noexcept { return m_data; }
    std::size_t Size() const noexcept { return m_size; }
    std::size_t CapacityForTesting() const noexcept { return m_capacity; }
    std::string_view Text() const noexcept {
        return std::string_view(reinterpret_cast<const char*>(m_data), m_size);
    }

    // Grows to the larger of one and a half times the capacity and the size needed, never
    // beyond the maximum size.
    bool Append(const void* bytes, std::size_t count) noexcept;
    void Clear() noexcept {
        m_size = 0;
        m_overMaxSize = false;
    }
    void Release() noexcept;

    void SetMaxSize(std::size_t maxSize) noexcept { m_maxSize = maxSize; }
    // Whether an Append since the last Clear was refused for passing the maximum size (and
    // not for want of memory).
    bool OverMaxSize() const noexcept { return m_overMaxSize; }

  private:
    BYTE* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    std::size_t m_maxSize = kDefaultMaxSize;
    bool m_overMaxSize = false;
};

}  // namespace RVUtil::curl

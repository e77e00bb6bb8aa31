#pragma once

#include <cstddef>
#include <string_view>

#include "RVUtil/WinTypes.h"

namespace RVUtil {

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

    BYTE* Data() noexcept { return m_pData; }
    std::size_t Size() const noexcept { return m_nSize; }
    std::size_t CapacityForTesting() const noexcept { return m_nCapacity; }
    std::string_view Text() const noexcept {
        return std::string_view(reinterpret_cast<const char*>(m_pData), m_nSize);
    }

    // Grows to the larger of one and a half times the capacity and the size needed, never
    // beyond the maximum size.
    bool Append(const void* bytes, std::size_t count) noexcept;
    void Clear() noexcept {
        m_nSize = 0;
        m_bOverMaxSize = false;
    }
    void Release() noexcept;

    void SetMaxSize(std::size_t maxSize) noexcept { m_nMaxSize = maxSize; }
    // Whether an Append since the last Clear was refused for passing the maximum size (and
    // not for want of memory).
    bool OverMaxSize() const noexcept { return m_bOverMaxSize; }

  private:
    BYTE* m_pData = nullptr;
    std::size_t m_nSize = 0;
    std::size_t m_nCapacity = 0;
    std::size_t m_nMaxSize = kDefaultMaxSize;
    bool m_bOverMaxSize = false;
};

}  // namespace RVUtil

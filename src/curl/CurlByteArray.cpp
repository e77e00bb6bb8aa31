#include "curl/CurlByteArray.h"

#include <cstdlib>
#include <cstring>

namespace RVUtil::curl {

CurlByteArray::~CurlByteArray() {
    Release();
}

bool CurlByteArray::Append(const void* bytes, std::size_t count) noexcept {
    if (count == 0) {
        return true;
    }
    if (m_size > m_maxSize || count > m_maxSize - m_size) {
        m_overMaxSize = true;
        return false;
    }
    const std::size_t needed = m_size + count;
    if (needed > m_capacity) {
        std::size_t grown = m_capacity + m_capacity / 2;
        if (grown < needed) {
            grown = needed;
        }
        if (grown > m_maxSize) {
            grown = m_maxSize;
        }
        // realloc lets a large body grow in place (or by remapping) instead of copying.
        void* moved = std::realloc(m_data, grown);
        if (moved == nullptr) {
            return false;
        }
        m_data = static_cast<BYTE*>(moved);
        m_capacity = grown;
    }
    std::memcpy(m_data + m_size, bytes, count);
    m_size = needed;
    return true;
}

void CurlByteArray::Release() noexcept {
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_overMaxSize = false;
}

}  // namespace RVUtil::curl

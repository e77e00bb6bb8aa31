#include "curl/CurlByteArray.h"

#include <cstdlib>
#include <cstring>

namespace RVUtil {

CurlByteArray::~CurlByteArray() {
    Release();
}

bool CurlByteArray::Append(const void* bytes, std::size_t count) noexcept {
    if (count == 0) {
        return true;
    }
    if (m_nSize > m_nMaxSize || count > m_nMaxSize - m_nSize) {
        m_bOverMaxSize = true;
        return false;
    }
    const std::size_t needed = m_nSize + count;
    if (needed > m_nCapacity) {
        std::size_t grown = m_nCapacity + m_nCapacity / 2;
        if (grown < needed) {
            grown = needed;
        }
        if (grown > m_nMaxSize) {
            grown = m_nMaxSize;
        }
        // realloc lets a large body grow in place (or by remapping) instead of copying.
        void* moved = std::realloc(m_pData, grown);
        if (moved == nullptr) {
            return false;
        }
        m_pData = static_cast<BYTE*>(moved);
        m_nCapacity = grown;
    }
    std::memcpy(m_pData + m_nSize, bytes, count);
    m_nSize = needed;
    return true;
}

void CurlByteArray::Release() noexcept {
    std::free(m_pData);
    m_pData = nullptr;
    m_nSize = 0;
    m_nCapacity = 0;
    m_bOverMaxSize = false;
}

}  // namespace RVUtil

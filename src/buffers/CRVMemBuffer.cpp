#include "RVUtil/CRVMemBuffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "RVUtil/AfxException.h"

namespace RVUtil {

namespace {

constexpr UINT kDefaultGrowBy = 1024;
// The counters are 32-bit, so no block can be larger than this.
constexpr std::uint64_t kMaxCapacity = UINT32_MAX;

}  // namespace

CRVMemBuffer::CRVMemBuffer(UINT nInitSize, UINT nGrowBy)
    : m_pData(nullptr), m_nSize(0), m_nCapacity(0), m_nGrowBy(nGrowBy), m_nWritePos(0) {
    if (nInitSize != 0) {
        m_pData = Alloc(nInitSize);
        if (m_pData == nullptr) {
            AfxThrowMemoryException();
        }
        m_nCapacity = nInitSize;
    }
}

// Copying the fields member by member would leave two owners of one block, so a copy
// always gets a block of its own.
CRVMemBuffer::CRVMemBuffer(const CRVMemBuffer& other)
    : m_pData(CopyStorageOf(other)),
      m_nSize(other.m_nSize),
      m_nCapacity(m_pData != nullptr ? other.m_nCapacity : 0),
      m_nGrowBy(other.m_nGrowBy),
      m_nWritePos(other.m_nWritePos) {}

CRVMemBuffer& CRVMemBuffer::operator=(const CRVMemBuffer& other) {
    if (this == &other) {
        return *this;
    }
    // The new block is obtained before anything changes, so running out of memory leaves
    // the target exactly as it was; the target's old block is released, not dropped.
    char* const block = CopyStorageOf(other);
    if (m_pData != nullptr) {
        Free(m_pData);
    }
    m_pData = block;
    m_nSize = other.m_nSize;
    m_nCapacity = block != nullptr ? other.m_nCapacity : 0;
    m_nGrowBy = other.m_nGrowBy;
    m_nWritePos = other.m_nWritePos;
    return *this;
}

char* CRVMemBuffer::CopyStorageOf(const CRVMemBuffer& other) {
    if (other.m_pData == nullptr) {
        return nullptr;
    }
    char* const block = Alloc(other.m_nCapacity);
    if (block == nullptr) {
        AfxThrowMemoryException();
    }
    Memcpy(block, other.m_pData, other.m_nSize);
    return block;
}

void CRVMemBuffer::Clear() {
    m_nWritePos = 0;
    m_nSize = 0;
}

CRVMemBuffer::~CRVMemBuffer() {
    if (m_pData != nullptr) {
        Free(m_pData);
        m_pData = nullptr;
    }
}

const char* CRVMemBuffer::GetData() {
    // Without storage there is nowhere to put the terminator; the empty string is what
    // such a buffer holds.
    if (m_pData == nullptr) {
        return "";
    }
    m_pData[m_nWritePos] = '\0';
    return m_pData;
}

void CRVMemBuffer::Write(char c) {
    // Two bytes: the one written and the terminator behind it. 64-bit sums throughout:
    // near the top of the 32-bit range a 32-bit one would wrap and skip growth.
    if (m_nWritePos + 2ULL > m_nCapacity) {
        Reserve(m_nWritePos + 2ULL);
    }
    m_pData[m_nWritePos++] = c;
    if (m_nWritePos > m_nSize) {
        m_nSize = m_nWritePos;
    }
}

void CRVMemBuffer::Write(const char* p, int n) {
    // The common case, kept free of everything else so that small appends stay cheap.
    if (n > 0 && p != nullptr && m_nWritePos + 1ULL + static_cast<UINT>(n) <= m_nCapacity) {
        Append(p, static_cast<UINT>(n));
        return;
    }
    WriteSlow(p, n);
}

void CRVMemBuffer::WriteSlow(const char* p, int n) {
    if (n == 0) {
        return;
    }
    if (p == nullptr) {
        if (n < 0) {
            return;  // a null string is the empty string
        }
        AfxThrowInvalidArgException();
    }
    const std::size_t count = n < 0 ? std::strlen(p) : static_cast<std::size_t>(n);
    const unsigned long long need = m_nWritePos + 1ULL + count;
    if (need > m_nCapacity) {
        // p may point into the block that growing releases; follow it into the new one.
        const char* const oldData = m_pData;
        const std::less<const char*> before;
        const bool own =
            oldData != nullptr && !before(p, oldData) && before(p, oldData + m_nCapacity);
        const std::size_t offset = own ? static_cast<std::size_t>(p - oldData) : 0;
        if (own && offset + count > m_nSize) {
            AfxThrowInvalidArgException();  // would read bytes never written
        }
        Reserve(need);
        if (own) {
            p = m_pData + offset;
        }
    }
    // need fits the storage now, so count fits 32 bits.
    Append(p, static_cast<UINT>(count));
}

void CRVMemBuffer::Reserve(unsigned long long need) {
    // unsigned long is 64-bit here, so need reaches Grow unchanged even above 4 GiB.
    Grow(static_cast<unsigned long>(need));
    if (m_pData == nullptr || need > m_nCapacity) {
        AfxThrowMemoryException();
    }
}

char* CRVMemBuffer::Alloc(unsigned long n) {
    return static_cast<char*>(std::malloc(n));
}

char* CRVMemBuffer::Realloc(char* p, unsigned long n) {
    return static_cast<char*>(std::realloc(p, n));
}

char* CRVMemBuffer::Memcpy(char* dst, const char* src, UINT n) {
    if (n != 0) {
        std::memcpy(dst, src, n);
    }
    return dst;
}

void CRVMemBuffer::Free(char* p) {
    std::free(p);
}

void CRVMemBuffer::Grow(unsigned long n) {
    if (n <= m_nCapacity) {
        return;
    }
    // A block the 32-bit counters cannot describe is out of memory, before anything
    // changes.
    if (n > kMaxCapacity) {
        AfxThrowMemoryException();
    }
    const std::uint64_t step = m_nGrowBy != 0 ? m_nGrowBy : kDefaultGrowBy;
    // The candidate is computed in 64 bits, where the product by 11 cannot overflow, and
    // every round adds at least one granule, so the loop always ends. A candidate that
    // overshoots the 32-bit range is cut to its top, which still holds n.
    std::uint64_t candidate = m_nCapacity;
    while (candidate < n) {
        candidate = candidate * 11 / 10 / step * step + step;
    }
    if (candidate > kMaxCapacity) {
        candidate = kMaxCapacity;
    }
    char* block = Alloc(static_cast<unsigned long>(candidate));
    if (block == nullptr) {
        AfxThrowMemoryException();  // nothing has changed yet, not even the granule
    }
    if (m_pData != nullptr) {
        Memcpy(block, m_pData, m_nSize);
        Free(m_pData);
    }
    m_pData = block;
    m_nCapacity = static_cast<UINT>(candidate);
    m_nGrowBy = static_cast<UINT>(step);
}

}  // namespace RVUtil

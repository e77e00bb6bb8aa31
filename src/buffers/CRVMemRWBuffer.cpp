#include "RVUtil/CRVMemRWBuffer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "RVUtil/AfxException.h"

namespace RVUtil {

CRVMemRWBuffer::CRVMemRWBuffer(UINT nInitSize, UINT nGrowBy)
    : CRVMemBuffer(nInitSize, nGrowBy), m_nReadPos(0) {}

CRVMemRWBuffer::CRVMemRWBuffer(const CRVMemRWBuffer& other)
    : CRVMemBuffer(other), m_nReadPos(other.m_nReadPos) {}

CRVMemRWBuffer& CRVMemRWBuffer::operator=(const CRVMemRWBuffer& other) {
    CRVMemBuffer::operator=(other);  // may throw; the cursor then stays as well
    m_nReadPos = other.m_nReadPos;
    return *this;
}

// The base destructor releases the storage.
CRVMemRWBuffer::~CRVMemRWBuffer() = default;

void CRVMemRWBuffer::Read(void* p, unsigned long n) {
    if (m_nReadPos >= m_nCapacity) {
        return;
    }
    // Only the storage is ever read: a longer request copies what is left of it and the
    // cursor stops at its end.
    const UINT count = static_cast<UINT>(std::min<unsigned long>(n, m_nCapacity - m_nReadPos));
    if (count == 0) {
        return;
    }
    if (p == nullptr) {
        AfxThrowInvalidArgException();
    }
    std::memcpy(p, m_pData + m_nReadPos, count);
    m_nReadPos += count;
}

BOOL CRVMemRWBuffer::ReadString(int n, CString& s) {
    if (n < 0) {
        return FALSE;
    }
    // The scratch block needs room only for what Read can deliver, so a huge n costs no
    // huge allocation.
    const UINT left = m_nReadPos < m_nCapacity ? m_nCapacity - m_nReadPos : 0;
    const UINT count = std::min(static_cast<UINT>(n), left);
    std::unique_ptr<char[]> block;
    try {
        block.reset(new char[count + 1ULL]());
        Read(block.get(), count);
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    s = block.get();
    return TRUE;
}

}  // namespace RVUtil

#pragma once

#include "RVUtil/CRVMemBuffer.h"
#include "RVUtil/CString.h"
#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

// A CRVMemBuffer with a read cursor: fill it with Write, consume it front to back with
// Read and ReadString. The cursor only moves forward, only by reading, and survives Clear
// (there is no rewind). Reads are bounded by the storage (the capacity), not by the number
// of bytes written: bytes past GetSize() are whatever the storage holds.
class RVUTIL_API CRVMemRWBuffer : public CRVMemBuffer {
  public:
    explicit CRVMemRWBuffer(UINT nInitSize = 1024, UINT nGrowBy = 1024);
    // Deep copies, cursor included (see CRVMemBuffer).
    CRVMemRWBuffer(const CRVMemRWBuffer& other);
    CRVMemRWBuffer& operator=(const CRVMemRWBuffer& other);
    ~CRVMemRWBuffer() override;

    // Copies n bytes at the cursor to p and advances the cursor by what was copied. With
    // the cursor at or past the end of the storage nothing happens; a request longer than
    // what is left in the storage copies only what is left. A null p with n > 0 raises
    // CInvalidArgException* and leaves the cursor.
    void Read(void* p, unsigned long n);
    // Reads n bytes into s, which ends at the first zero byte among them; the cursor moves
    // by the bytes read all the same. FALSE, with s and the cursor unchanged, for a negative
    // n or when the scratch block cannot be had.
    BOOL ReadString(int n, CString& s);

  protected:
    UINT m_nReadPos;  // index of the next byte to read
};

}  // namespace RVUtil

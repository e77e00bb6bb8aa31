#pragma once

#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

// An append-only byte buffer that always keeps one byte free behind the written data, so
// GetData can hand the contents out as a zero-terminated string without copying.
//
// The five storage primitives are protected and virtual so that a derived class can put
// another allocator under the same logic. Two rules of C++ apply to such a class: the
// constructors and the destructor of this base run only this base's own primitives, so a
// class with its own allocator constructs the base with initial size 0 (the first write
// then allocates through its Alloc) and releases m_pData with its own Free in its own
// destructor, setting m_pData to null before this destructor runs.
//
// Not thread-safe: one thread at a time.
class RVUTIL_API CRVMemBuffer {
  public:
    explicit CRVMemBuffer(UINT nInitSize = 1024, UINT nGrowBy = 1024);
    // Copies own their storage: a copy gets a block of its own (same capacity, same
    // contents), so no two buffers ever own one block. Out of memory raises
    // CMemoryException* and leaves the target as it was.
    CRVMemBuffer(const CRVMemBuffer& other);
    CRVMemBuffer& operator=(const CRVMemBuffer& other);

    // Forgets the contents; the storage is kept for the next writes.
    virtual void Clear();
    virtual ~CRVMemBuffer();

    // The written bytes as a zero-terminated string (cut short by a zero byte in the data).
    // Valid until the next write that grows the buffer. A buffer that never had storage
    // returns a static empty string.
    const char* GetData();
    UINT GetSize() const { return m_nSize; }

    // Appends one byte. Out of memory raises CMemoryException*; nothing changes then.
    void Write(char c);
    // Appends n bytes from p; n < 0 appends the zero-terminated string at p, n == 0 nothing.
    // A null p counts as the empty string when n < 0 and raises CInvalidArgException* when
    // n > 0. p may point into this buffer's own written bytes (GetData()), but that run must
    // not reach past GetSize(). Out of memory raises CMemoryException*; nothing changes then.
    void Write(const char* p, int n);

  protected:
    // A new block of n bytes, or null.
    virtual char* Alloc(unsigned long n);
    // Resizes a block. Part of the overridable storage interface; the buffer's own logic
    // never calls it.
    virtual char* Realloc(char* p, unsigned long n);
    virtual char* Memcpy(char* dst, const char* src, UINT n);
    // Releases a block obtained from Alloc.
    virtual void Free(char* p);
    // Makes m_nCapacity at least n, or raises CMemoryException* and changes nothing.
    virtual void Grow(unsigned long n);

    char* m_pData;     // owned storage; null until the first allocation
    UINT m_nSize;      // bytes written so far
    UINT m_nCapacity;  // bytes in m_pData
    UINT m_nGrowBy;    // growth granule; 0 becomes 1024 at the first growth
    UINT m_nWritePos;  // index of the next byte to write

  private:
    // A new block (through Alloc) holding other's written bytes, or null when other has
    // no storage; out of memory raises CMemoryException*.
    char* CopyStorageOf(const CRVMemBuffer& other);
    // Write's cases other than a run that fits: zero and negative lengths, null, growth.
    void WriteSlow(const char* p, int n);
    // Copies count bytes that fit the storage to the write cursor. Defined here so that
    // the library inlines it into Write's fast path.
    void Append(const char* p, UINT count) {
        Memcpy(m_pData + m_nWritePos, p, count);
        m_nWritePos += count;
        if (m_nWritePos > m_nSize) {
            m_nSize = m_nWritePos;
        }
    }
    // Grows for a write of `need` bytes in all (data plus terminator) and checks that the
    // storage really holds them, whatever a derived Grow did.
    void Reserve(unsigned long long need);
};

static_assert(sizeof(UINT) == 4, "the buffer's counters are 32-bit");

}  // namespace RVUtil

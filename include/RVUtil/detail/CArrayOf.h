#pragma once

#include <algorithm>
#include <new>
#include <stdexcept>
#include <vector>

#include "RVUtil/AfxException.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil::detail {

// The framework's growable array with its member names. A bad index raises
// CInvalidArgException*, an allocation failure CMemoryException*; neither changes the array.
template <class T>
class CArrayOf {
  public:
    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_items.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }

    // growBy is accepted for source compatibility; the vector's own growth rule applies.
    void SetSize(INT_PTR newSize, INT_PTR growBy = -1) {
        (void)growBy;
        if (newSize < 0) {
            AfxThrowInvalidArgException();
        }
        Guarded([&] { m_items.resize(static_cast<std::size_t>(newSize)); });
    }
    INT_PTR Add(const T& item) {
        Guarded([&] { m_items.push_back(item); });
        return GetSize() - 1;
    }
    const T& GetAt(INT_PTR index) const { return m_items[Checked(index)]; }
    T& GetAt(INT_PTR index) { return m_items[Checked(index)]; }
    T& ElementAt(INT_PTR index) { return m_items[Checked(index)]; }
    void SetAt(INT_PTR index, const T& item) {
        T& slot = m_items[Checked(index)];
        Guarded([&] { slot = item; });
    }
    // Like SetAt, but grows the array when index is past the end.
    void SetAtGrow(INT_PTR index, const T& item) {
        if (index < 0) {
            AfxThrowInvalidArgException();
        }
        if (index >= GetSize()) {
            SetSize(index + 1);
        }
        m_items[static_cast<std::size_t>(index)] = item;
    }
    const T& operator[](INT_PTR index) const { return GetAt(index); }
    T& operator[](INT_PTR index) { return GetAt(index); }

    void RemoveAt(INT_PTR index, INT_PTR count = 1) {
        if (index < 0 || count < 0 || index + count > GetSize()) {
            AfxThrowInvalidArgException();
        }
        m_items.erase(m_items.begin() + index, m_items.begin() + index + count);
    }
    // An index past the end grows the array first, as the framework does.
    void InsertAt(INT_PTR index, const T& item, INT_PTR count = 1) {
        if (index < 0 || count <= 0) {
            AfxThrowInvalidArgException();
        }
        Guarded([&] {
            if (index > GetSize()) {
                m_items.resize(static_cast<std::size_t>(index));
            }
            m_items.insert(m_items.begin() + index, static_cast<std::size_t>(count), item);
        });
    }
    void RemoveAll() {
        m_items.clear();
        m_items.shrink_to_fit();
    }
    T* GetData() { return m_items.data(); }
    const T* GetData() const { return m_items.data(); }
    INT_PTR Append(const CArrayOf& other) {
        const INT_PTR first = GetSize();
        Guarded([&] { m_items.insert(m_items.end(), other.m_items.begin(), other.m_items.end()); });
        return first;
    }
    void Copy(const CArrayOf& other) {
        if (this != &other) {
            Guarded([&] { m_items = other.m_items; });
        }
    }

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    std::size_t Checked(INT_PTR index) const {
        if (index < 0 || index >= GetSize()) {
            AfxThrowInvalidArgException();
        }
        return static_cast<std::size_t>(index);
    }
    template <class F>
    static void Guarded(F&& change) {
        try {
            change();
        } catch (const std::bad_alloc&) {
            AfxThrowMemoryException();
        } catch (const std::length_error&) {
            AfxThrowMemoryException();
        }
    }

    std::vector<T> m_items;
};

}  // namespace RVUtil::detail

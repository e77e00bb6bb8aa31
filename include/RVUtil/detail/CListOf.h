#pragma once

#include <cstddef>
#include <new>

#include "RVUtil/AfxException.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil::detail {

// The framework's doubly linked list with its member names. A POSITION is the address of
// a node; a null POSITION handed to an operation that needs one raises
// CInvalidArgException*, as does taking the head or tail of an empty list. A node that
// cannot be allocated raises CMemoryException* and leaves the list unchanged.
//
// Nodes come from blocks of blockSize nodes and go back to a free list, so a list that is
// filled and drained all the time (a queue) does not allocate per element. When the list
// becomes empty every block but one is given back; RemoveAll gives back all.
template <class T>
class CListOf {
    struct Node : ListPosition {
        Node* prev;
        Node* next;
        T data;
    };
    union Slot {
        Slot* nextFree;
        alignas(Node) unsigned char storage[sizeof(Node)];
    };
    struct Block {
        Block* next;
        Slot* Slots() {
            return reinterpret_cast<Slot*>(reinterpret_cast<unsigned char*>(this) + kSlotsOffset);
        }
    };
    static constexpr std::size_t kSlotsOffset =
        (sizeof(Block) + alignof(Slot) - 1) / alignof(Slot) * alignof(Slot);

  public:
    explicit CListOf(INT_PTR blockSize = 10) : m_blockSize(blockSize > 0 ? blockSize : 10) {}
    CListOf(const CListOf&) = delete;
    CListOf& operator=(const CListOf&) = delete;
    ~CListOf() { RemoveAll(); }

    INT_PTR GetCount() const { return m_count; }
    INT_PTR GetSize() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }

    POSITION GetHeadPosition() const { return m_head; }
    POSITION GetTailPosition() const { return m_tail; }
    T& GetHead() { return NonEmpty(m_head)->data; }
    const T& GetHead() const { return NonEmpty(m_head)->data; }
    T& GetTail() { return NonEmpty(m_tail)->data; }
    const T& GetTail() const { return NonEmpty(m_tail)->data; }

    // The element at pos; pos moves to the next one (null after the tail).
    T& GetNext(POSITION& pos) {
        Node* node = NodeAt(pos);
        pos = node->next;
        return node->data;
    }
    const T& GetNext(POSITION& pos) const {
        Node* node = NodeAt(pos);
        pos = node->next;
        return node->data;
    }
    T& GetPrev(POSITION& pos) {
        Node* node = NodeAt(pos);
        pos = node->prev;
        return node->data;
    }
    T& GetAt(POSITION pos) { return NodeAt(pos)->data; }
    const T& GetAt(POSITION pos) const { return NodeAt(pos)->data; }
    void SetAt(POSITION pos, const T& item) { NodeAt(pos)->data = item; }

    POSITION AddHead(const T& item) { return Link(Make(item), nullptr, m_head); }
    POSITION AddTail(const T& item) { return Link(Make(item), m_tail, nullptr); }
    POSITION InsertBefore(POSITION pos, const T& item) {
        if (pos == nullptr) {
            return AddHead(item);
        }
        Node* node = NodeAt(pos);
        return Link(Make(item), node->prev, node);
    }
    POSITION InsertAfter(POSITION pos, const T& item) {
        if (pos == nullptr) {
            return AddTail(item);
        }
        Node* node = NodeAt(pos);
        return Link(Make(item), node, node->next);
    }

    T RemoveHead() { return Take(NonEmpty(m_head)); }
    T RemoveTail() { return Take(NonEmpty(m_tail)); }
    void RemoveAt(POSITION pos) { Take(NodeAt(pos)); }
    void RemoveAll() {
        for (Node* node = m_head; node != nullptr;) {
            Node* next = node->next;
            node->~Node();
            node = next;
        }
        m_head = m_tail = nullptr;
        m_count = 0;
        ReleaseBlocks(nullptr);
    }

    // First position at or after startAfter's successor whose element equals value.
    POSITION Find(const T& value, POSITION startAfter = nullptr) const {
        Node* node = startAfter == nullptr ? m_head : NodeAt(startAfter)->next;
        for (; node != nullptr; node = node->next) {
            if (node->data == value) {
                return node;
            }
        }
        return nullptr;
    }
    // Position of the element with that zero-based index, or null.
    POSITION FindIndex(INT_PTR index) const {
        Node* node = index < 0 ? nullptr : m_head;
        for (; node != nullptr && index > 0; --index) {
            node = node->next;
        }
        return node;
    }

  private:
    static Node* NodeAt(POSITION pos) {
        if (pos == nullptr) {
            AfxThrowInvalidArgException();
        }
        return static_cast<Node*>(pos);
    }
    static Node* NonEmpty(Node* node) {
        if (node == nullptr) {
            AfxThrowInvalidArgException();
        }
        return node;
    }
    Node* Make(const T& item) {
        try {
            if (m_free == nullptr) {
                AddBlock();
            }
            Slot* slot = m_free;
            Slot* const next = slot->nextFree;
            try {
                Node* node =
                    ::new (static_cast<void*>(slot->storage)) Node{{}, nullptr, nullptr, item};
                m_free = next;
                return node;
            } catch (...) {
                slot->nextFree = next;  // the failed construction may have written over it
                throw;
            }
        } catch (const std::bad_alloc&) {
            AfxThrowMemoryException();
        }
    }
    void Recycle(Node* node) {
        node->~Node();
        Slot* slot = reinterpret_cast<Slot*>(static_cast<void*>(node));
        slot->nextFree = m_free;
        m_free = slot;
        if (m_count == 0 && m_blocks != nullptr && m_blocks->next != nullptr) {
            ReleaseBlocks(m_blocks);  // empty: keep one block for the next use
        }
    }
    void AddBlock() {
        void* raw =
            ::operator new(kSlotsOffset + static_cast<std::size_t>(m_blockSize) * sizeof(Slot));
        Block* block = ::new (raw) Block{m_blocks};
        m_blocks = block;
        Slot* slots = block->Slots();
        for (INT_PTR i = m_blockSize - 1; i >= 0; --i) {
            slots[i].nextFree = m_free;
            m_free = &slots[i];
        }
    }
    // Gives back every block except keep (which must hold only free nodes); the free list
    // is rebuilt from keep.
    void ReleaseBlocks(Block* keep) {
        for (Block* block = m_blocks; block != nullptr;) {
            Block* next = block->next;
            if (block != keep) {
                ::operator delete(static_cast<void*>(block));
            }
            block = next;
        }
        m_blocks = nullptr;
        m_free = nullptr;
        if (keep != nullptr) {
            keep->next = nullptr;
            m_blocks = keep;
            Slot* slots = keep->Slots();
            for (INT_PTR i = m_blockSize - 1; i >= 0; --i) {
                slots[i].nextFree = m_free;
                m_free = &slots[i];
            }
        }
    }
    POSITION Link(Node* node, Node* prev, Node* next) {
        node->prev = prev;
        node->next = next;
        (prev != nullptr ? prev->next : m_head) = node;
        (next != nullptr ? next->prev : m_tail) = node;
        ++m_count;
        return node;
    }
    T Take(Node* node) {
        (node->prev != nullptr ? node->prev->next : m_head) = node->next;
        (node->next != nullptr ? node->next->prev : m_tail) = node->prev;
        --m_count;
        T item = std::move(node->data);
        Recycle(node);
        return item;
    }

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    INT_PTR m_count = 0;
    const INT_PTR m_blockSize;
    Block* m_blocks = nullptr;
    Slot* m_free = nullptr;
};

}  // namespace RVUtil::detail

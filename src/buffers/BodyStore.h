#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace RVUtil::buffers {

// A response body held whole, as a fetcher receives it, in one block that a host can be
// handed as a new[] array (released with delete[]) without a copy. Nothing here throws: a
// block that cannot be had is reported by the result and leaves the contents as they were.
//
// Two kinds of block, chosen by what is known of the body's size:
// - Reserve (a declared length): one new[] array of exactly what is asked for, advised for
//   huge pages when large, which never grows afterwards as long as the body keeps to its
//   length. TakeArray hands it over as it is: the body is held once from the first byte to
//   the host.
// - Append beyond the room (no length known): a malloc block grown by realloc to one and a
//   half times its size (the C library moves large blocks by remapping their pages, so a
//   growth never copies them), handed over by TakeArray in an exact new[] array whose
//   source pages are given back as they are copied, so the body is held about once then too.
// Every block keeps one byte beyond its capacity for the zero that follows a handed-over
// plain body. The block stays from one body to the next (Clear) until it is handed over or
// released. Its bytes are std::uint8_t, the type hosts release the array as (the exported
// BYTE).
class BodyStore {
  public:
    BodyStore() = default;
    ~BodyStore();
    BodyStore(const BodyStore&) = delete;
    BodyStore& operator=(const BodyStore&) = delete;

    std::uint8_t* Data() const noexcept { return m_data; }
    std::size_t Size() const noexcept { return m_size; }
    std::size_t Capacity() const noexcept { return m_capacity; }
    std::span<const std::byte> Bytes() const noexcept {
        return std::as_bytes(std::span(m_data, m_size));
    }
    // Room at the end, for reading straight into; Commit counts what was written there.
    std::uint8_t* Tail() const noexcept { return m_data + m_size; }
    std::size_t Room() const noexcept { return m_capacity - m_size; }
    void Commit(std::size_t n) noexcept { m_size += n; }

    // Makes room for exactly more bytes beyond the size, in a new[] array when the block must
    // change; false, with nothing changed, when that cannot be had.
    bool Reserve(std::size_t more) noexcept;
    // Makes room for at least n bytes beyond the size, growing the block as described above
    // but never beyond the growth limit (unless n itself needs more); false, with nothing
    // changed, when it cannot grow.
    bool MakeRoom(std::size_t n) noexcept;
    // MakeRoom, then the bytes.
    bool Append(const void* data, std::size_t n) noexcept;
    // The most an Append grows the block to ahead of need: the body limit, so that a body
    // stopped there never held room beyond it.
    void SetGrowthLimit(std::size_t bytes) noexcept { m_growthLimit = bytes; }
    // Replaces the contents and the block by array, a new[] array of size + 1 bytes (the
    // decoders leave that spare byte).
    void Adopt(std::unique_ptr<std::uint8_t[]> array, std::size_t size) noexcept;
    // Drops the contents and keeps the block.
    void Clear() noexcept { m_size = 0; }
    // Drops the contents and the block.
    void Release() noexcept;

    // The contents as a new[] array of Size() + 1 bytes whose last byte is zero, for the
    // caller to release with delete[]. The store's own array goes as it is when it is one
    // (the store is then left without a block); otherwise the contents are copied and the
    // store keeps its block, emptied. Null, with nothing changed, when no memory can be had.
    std::uint8_t* TakeArray() noexcept;

  private:
    enum class Kind { None, Array, Grown };

    // Replaces the block by a new[] array of capacity (+1) holding the contents.
    bool MoveToArray(std::size_t capacity) noexcept;
    // Copies the contents into block, of kind and capacity, which replaces the block.
    void MoveInto(std::uint8_t* block, Kind kind, std::size_t capacity) noexcept;
    void FreeBlock() noexcept;

    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    Kind m_kind = Kind::None;
    std::size_t m_growthLimit = static_cast<std::size_t>(-1);
};

}  // namespace RVUtil::buffers

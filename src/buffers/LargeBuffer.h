#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>

// The large buffers of the decoders. Decoding writes every byte of its output once, and with
// 4 KiB pages the page faults of a fresh buffer cost as much as the decoding itself, so large
// buffers are backed by huge pages where the kernel allows.
//
// Their bytes are std::uint8_t: an array made here may reach a host, which releases it with
// delete[] as an array of the exported BYTE, the same type.
namespace RVUtil::buffers {

// Asks for huge pages on the whole huge pages inside an array that is never grown (the
// allocator owns the bytes around it). Never for a block that realloc may grow later: the
// advice splits the block's mapping, after which every growth copies the block instead of
// moving its pages. Small buffers and refusals are left as they are.
void AdviseLargeBuffer(void* data, std::size_t size);

// Room for output whose size is only known once it is decoded: one private mapping of
// `capacity` bytes, advised for huge pages as a whole. Pages become resident only as the
// decoder writes them, so the output grows with what really arrives, never moves and is
// never copied while it grows. Throws std::bad_alloc when the room cannot be mapped.
class GrowingOutput {
  public:
    explicit GrowingOutput(std::size_t capacity);
    ~GrowingOutput();
    GrowingOutput(const GrowingOutput&) = delete;
    GrowingOutput& operator=(const GrowingOutput&) = delete;

    std::uint8_t* data() const { return m_data; }
    std::size_t capacity() const { return m_capacity; }

  private:
    std::uint8_t* m_data = nullptr;
    std::size_t m_capacity = 0;
    std::size_t m_mapped = 0;
};

// Gives the whole pages inside size bytes at data back to the system, for output that a
// failed attempt wrote and nothing will read: they stop counting as resident, and read as
// zeros if written again. The bytes around them, in part pages, are kept.
void ReleasePages(void* data, std::size_t size);

// Joins the parts, in order, in one new[] array (hosts may replace operator new, so only such
// an array may leave the decoders). Each part's pages are given back to the system as they
// are copied, so the output is held about once, not twice; the parts' bytes are lost. Throws
// std::bad_alloc.
std::unique_ptr<std::uint8_t[]> HandOver(std::initializer_list<std::span<std::uint8_t>> parts);

}  // namespace RVUtil::buffers

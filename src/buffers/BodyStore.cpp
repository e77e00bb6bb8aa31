#include "buffers/BodyStore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "buffers/LargeBuffer.h"

namespace RVUtil::buffers {

namespace {

// Below this a body is copied out rather than handed over: the copy costs less than the new
// block the next body would need.
constexpr std::size_t kSmallestHandedOver = 64 * 1024;
// The first block of a body whose length is unknown.
constexpr std::size_t kFirstGrowth = 16 * 1024;

std::uint8_t g_zero = 0;

}  // namespace

BodyStore::~BodyStore() {
    FreeBlock();
}

void BodyStore::FreeBlock() noexcept {
    if (m_kind == Kind::Array) {
        delete[] m_data;
    } else if (m_kind == Kind::Grown) {
        std::free(m_data);
    }
    m_data = nullptr;
    m_capacity = 0;
    m_kind = Kind::None;
}

void BodyStore::Release() noexcept {
    FreeBlock();
    m_size = 0;
}

void BodyStore::Adopt(std::unique_ptr<std::uint8_t[]> array, std::size_t size) noexcept {
    FreeBlock();
    m_data = array.release();
    m_size = size;
    m_capacity = size;
    m_kind = Kind::Array;
}

void BodyStore::MoveInto(std::uint8_t* block, Kind kind, std::size_t capacity) noexcept {
    if (m_size > 0) {
        std::memcpy(block, m_data, m_size);
    }
    const std::size_t size = m_size;
    FreeBlock();
    m_data = block;
    m_size = size;
    m_capacity = capacity;
    m_kind = kind;
}

bool BodyStore::MoveToArray(std::size_t capacity) noexcept {
    auto* array = new (std::nothrow) std::uint8_t[capacity + 1];
    if (array == nullptr) {
        return false;
    }
    AdviseLargeBuffer(array, capacity);
    MoveInto(array, Kind::Array, capacity);
    return true;
}

bool BodyStore::Reserve(std::size_t more) noexcept {
    if (more <= Room()) {
        return true;
    }
    return more <= static_cast<std::size_t>(-2) - m_size && MoveToArray(m_size + more);
}

bool BodyStore::MakeRoom(std::size_t n) noexcept {
    if (n <= Room()) {
        return true;
    }
    if (n > static_cast<std::size_t>(-2) / 2 - m_size) {
        return false;
    }
    const std::size_t capacity = std::max(
        m_size + n, std::min(std::max(m_capacity + m_capacity / 2, kFirstGrowth), m_growthLimit));
    if (m_kind != Kind::Grown) {
        // An array cannot be grown in place: its contents move into a block that can.
        auto* grown = static_cast<std::uint8_t*>(std::malloc(capacity + 1));
        if (grown == nullptr) {
            return false;
        }
        MoveInto(grown, Kind::Grown, capacity);
        return true;
    }
    void* grown = std::realloc(m_data, capacity + 1);
    if (grown == nullptr) {
        return false;
    }
    m_data = static_cast<std::uint8_t*>(grown);
    m_capacity = capacity;
    return true;
}

bool BodyStore::Append(const void* data, std::size_t n) noexcept {
    if (!MakeRoom(n)) {
        return false;
    }
    if (n > 0) {
        std::memcpy(m_data + m_size, data, n);
        m_size += n;
    }
    return true;
}

std::uint8_t* BodyStore::TakeArray() noexcept {
    if (m_kind == Kind::Array && m_size >= kSmallestHandedOver) {
        std::uint8_t* array = m_data;
        array[m_size] = 0;
        m_data = nullptr;
        m_size = 0;
        m_capacity = 0;
        m_kind = Kind::None;
        return array;
    }
    std::uint8_t* copy = nullptr;
    try {
        copy = HandOver({{m_data, m_size}, {&g_zero, 1}}).release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    m_size = 0;
    return copy;
}

}  // namespace RVUtil::buffers

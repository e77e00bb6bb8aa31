#pragma once

#include <compare>
#include <cstdint>

// A point in time as whole seconds since 1970-01-01 00:00:00 UTC, copied as a plain
// 8-byte value. Expiry times reach hosts in it.
class CTime32 {
  public:
    constexpr CTime32() = default;
    constexpr explicit CTime32(std::int64_t seconds) : m_time(seconds) {}

    constexpr std::int64_t GetTime() const { return m_time; }
    friend constexpr auto operator<=>(const CTime32&, const CTime32&) = default;

  private:
    std::int64_t m_time = 0;
};

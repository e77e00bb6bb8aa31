#pragma once

#include <cstdint>
#include <ctime>

namespace rvtest {

// Seconds since the epoch of a local date and time, as mktime reads it (days past the end
// of a month roll into the next one, daylight saving time as it applies then).
inline std::int64_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

}  // namespace rvtest

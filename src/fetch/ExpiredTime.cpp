#include "RVUtil/ExpiredTime.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace RVUtil {

namespace {

constexpr int kTextLength = 26;
constexpr std::time_t kInvalidGrace = 10;  // seconds granted to an unreadable expiry

// Field starts in the text; the first four characters are never read.
constexpr int kYearAt = 4, kMonthAt = 9, kDayAt = 12, kHourAt = 15, kMinuteAt = 18, kSecondAt = 21;

// atoi as this platform's C library defines it: strtol's saturating reading, cut to int.
int readField(const char* text, int at) {
    return static_cast<int>(std::strtol(text + at, nullptr, 10));
}

bool inRange(int value, unsigned low, unsigned high) {
    // Compared unsigned, so a negative reading is out of range.
    const unsigned u = static_cast<unsigned>(value);
    return u >= low && u <= high;
}

}  // namespace

CTime32 RVUtil_gfnGetExpiredTime(const CString& text) {
    const auto invalid = [] { return CTime32(std::time(nullptr) + kInvalidGrace); };
    if (text.GetLength() != kTextLength) {
        return invalid();
    }

    // Every separator becomes a terminator, so each field ends at the next one.
    char fields[kTextLength + 1];
    std::memcpy(fields, text.GetString(), kTextLength);
    fields[kTextLength] = '\0';
    for (char& c : fields) {
        if (c == '-' || c == '/' || c == ':' || c == ' ') {
            c = '\0';
        }
    }

    int year = readField(fields, kYearAt);
    if (year < 2000) {
        return invalid();
    }
    int month = readField(fields, kMonthAt);
    if (!inRange(month, 1, 12)) {
        return invalid();
    }
    int day = readField(fields, kDayAt);
    if (!inRange(day, 1, 31)) {
        return invalid();
    }
    const int hour = readField(fields, kHourAt);
    if (!inRange(hour, 0, 23)) {
        return invalid();
    }
    const int minute = readField(fields, kMinuteAt);
    if (!inRange(minute, 0, 59)) {
        return invalid();
    }
    const int second = readField(fields, kSecondAt);
    if (!inRange(second, 0, 59)) {
        return invalid();
    }

    // Expiries stay where 32-bit readers of the value can follow them: no later than
    // 2038-01-17, with the time of day kept.
    if (year > 2038) {
        year = 2038;
    }
    if (year == 2038) {
        month = 1;
        if (day > 17) {
            day = 17;
        }
    }

    std::tm local{};
    local.tm_sec = second;
    local.tm_min = minute;
    local.tm_hour = hour;
    local.tm_mday = day;  // days past the month's end roll into the next month
    local.tm_mon = month - 1;
    local.tm_year = year - 1900;
    local.tm_isdst = -1;
    return CTime32(std::mktime(&local));
}

}  // namespace RVUtil

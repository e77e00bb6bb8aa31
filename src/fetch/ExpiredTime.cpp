#include "RVUtil/ExpiredTime.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>

namespace RVUtil {

namespace {

constexpr int kTextLength = 26;
constexpr std::time_t kInvalidGrace = 10;  // seconds granted to an unreadable expiry

// Field starts in the text; the first four characters are never read.
constexpr int kYearAt = 4, kMonthAt = 9, kDayAt = 12, kHourAt = 15, kMinuteAt = 18, kSecondAt = 21;

// atoi as this platform's C library defines it: strtol's saturating reading, cut to int.
int ReadField(const char* text, int at) {
    return static_cast<int>(std::strtol(text + at, nullptr, 10));
}

bool InRange(int value, unsigned low, unsigned high) {
    // Compared unsigned, so a negative reading is out of range.
    const unsigned u = static_cast<unsigned>(value);
    return u >= low && u <= high;
}

struct Expiry {
    int year, month, day, hour, minute, second;
};

// The fields of the text; nullopt when its length is not kTextLength or a field is out of
// range.
std::optional<Expiry> ReadExpiry(std::string_view text) {
    if (text.size() != kTextLength) {
        return std::nullopt;
    }
    // Every separator becomes a terminator, so each field ends at the next one.
    char fields[kTextLength + 1];
    std::memcpy(fields, text.data(), kTextLength);
    fields[kTextLength] = '\0';
    for (char& c : fields) {
        if (c == '-' || c == '/' || c == ':' || c == ' ') {
            c = '\0';
        }
    }
    const Expiry e{ReadField(fields, kYearAt),   ReadField(fields, kMonthAt),
                   ReadField(fields, kDayAt),    ReadField(fields, kHourAt),
                   ReadField(fields, kMinuteAt), ReadField(fields, kSecondAt)};
    if (e.year < 2000 || !InRange(e.month, 1, 12) || !InRange(e.day, 1, 31) ||
        !InRange(e.hour, 0, 23) || !InRange(e.minute, 0, 59) || !InRange(e.second, 0, 59)) {
        return std::nullopt;
    }
    return e;
}

// Expiries stay where 32-bit readers of the value can follow them: no later than
// 2038-01-17, with the time of day kept.
void ClampTo2038(Expiry& e) {
    if (e.year > 2038) {
        e.year = 2038;
    }
    if (e.year == 2038) {
        e.month = 1;
        if (e.day > 17) {
            e.day = 17;
        }
    }
}

}  // namespace

CTime32 RVUtil_gfnGetExpiredTime(const CString& text) {
    std::optional<Expiry> e = ReadExpiry(text.str());
    if (!e) {
        return CTime32(std::time(nullptr) + kInvalidGrace);
    }
    ClampTo2038(*e);
    std::tm local{};
    local.tm_sec = e->second;
    local.tm_min = e->minute;
    local.tm_hour = e->hour;
    local.tm_mday = e->day;  // days past the month's end roll into the next month
    local.tm_mon = e->month - 1;
    local.tm_year = e->year - 1900;
    local.tm_isdst = -1;
    return CTime32(std::mktime(&local));
}

}  // namespace RVUtil

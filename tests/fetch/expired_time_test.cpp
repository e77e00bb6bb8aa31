// Reading "VR_Expired" texts: the fixed layout, the range checks, the 2038 clamp and the
// "now + 10 s" answer for anything unreadable.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <utility>

#include "LocalTime.h"
#include "RVUtil/ExpiredTime.h"

namespace {

using rvtest::LocalTime;

TEST(ExpiredTimeTest, ReadsTheFixedLayoutOrAnswersNowPlusTen) {
    const auto read = [](const char* text) {
        return RVUtil::RVUtil_gfnGetExpiredTime(text).GetTime();
    };
    const std::pair<const char*, std::int64_t> cases[] = {
        // Any separator; letters and padding in the time fields read as zero.
        {"Exp:2026-12-04 10:20:30 LT", LocalTime(2026, 12, 4, 10, 20, 30)},
        {"????2026/12/04 10:20:30xyz", LocalTime(2026, 12, 4, 10, 20, 30)},
        {"abcd2000-01-01 00:00:00   ", LocalTime(2000, 1, 1, 0, 0, 0)},
        {"abcd2026-12-04 xx:yy:zz LT", LocalTime(2026, 12, 4, 0, 0, 0)},
        {"abcd2026-12-04  9:20:30 LT", LocalTime(2026, 12, 4, 0, 20, 30)},
        // A digit in a separator's place runs into the field before it, as the C library
        // reads numbers: "057" is still a second, 2026112 a year clamped into 2038.
        {"abcd2026-12-04 10:20:057LT", LocalTime(2026, 12, 4, 10, 20, 57)},
        {"abcd2026112-04 10:20:30 LT", LocalTime(2038, 1, 4, 10, 20, 30)},
        // Late dates are clamped into early 2038; days past a month's end roll over.
        {"abcd2038-06-30 12:00:00 LT", LocalTime(2038, 1, 17, 12, 0, 0)},
        {"abcd2040-01-05 08:00:00 LT", LocalTime(2038, 1, 5, 8, 0, 0)},
        {"abcd2037-12-31 23:59:59 LT", LocalTime(2037, 12, 31, 23, 59, 59)},
        {"abcd2026-02-30 00:00:00 LT", LocalTime(2026, 3, 2, 0, 0, 0)},
    };
    for (const auto& [text, want] : cases) {
        EXPECT_EQ(read(text), want) << text;
    }
    // Not 26 characters, or a field out of its range ("99...9" saturates, negative as an int).
    for (const char* text :
         {"", "abc2026-12-04 10:20:30 LT", "abcde2026-12-04 10:20:30 LT",
          "abcd1999-12-04 10:20:30 LT", "abcd2026-00-04 10:20:30 LT", "abcd2026-13-04 10:20:30 LT",
          "abcd2026-12-00 10:20:30 LT", "abcd2026-12-32 10:20:30 LT", "abcd2026-12-04 24:20:30 LT",
          "abcd2026-12-04 10:60:30 LT", "abcd2026-12-04 10:20:60 LT", "abcd2026-ab-04 10:20:30 LT",
          "abcd2026-12- 4 10:20:30 LT", "abcd2026-12-04 10:20:307LT",
          "abcd99999999999999999999LT"}) {
        const std::int64_t before = std::time(nullptr);
        const std::int64_t got = read(text);
        EXPECT_GE(got, before + 10) << text;
        EXPECT_LE(got, std::time(nullptr) + 10) << text;
    }
}

}  // namespace

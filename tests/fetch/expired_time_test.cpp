// Reading "VR_Expired" texts: the fixed layout, the range checks, the 2038 clamp and the
// "now + 10 s" answer for anything unreadable.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "LocalTime.h"
#include "RVUtil/ExpiredTime.h"

namespace {

using rvtest::LocalTime;
using RVUtil::RVUtil_gfnGetExpiredTime;

// True when text reads as "unreadable": the call's time plus 10 seconds.
bool readsAsNowPlusTen(const std::string& text) {
    const std::int64_t before = std::time(nullptr);
    const std::int64_t got = RVUtil_gfnGetExpiredTime(text.c_str()).GetTime();
    const std::int64_t after = std::time(nullptr);
    return got >= before + 10 && got <= after + 10;
}

std::int64_t read(const std::string& text) {
    EXPECT_EQ(text.size(), 26u) << text;
    return RVUtil_gfnGetExpiredTime(text.c_str()).GetTime();
}

TEST(ExpiredTimeTest, ConformingTextsWithAnySeparator) {
    const std::int64_t want = LocalTime(2026, 12, 4, 10, 20, 30);
    EXPECT_EQ(read("Exp:2026-12-04 10:20:30 LT"), want);
    EXPECT_EQ(read("????2026/12/04 10:20:30xyz"), want);
    EXPECT_EQ(read("abcd2026:12:04:10:20:30 ab"), want);
    EXPECT_EQ(read("abcd2000-01-01 00:00:00   "), LocalTime(2000, 1, 1, 0, 0, 0));
}

TEST(ExpiredTimeTest, WrongLengthOrOutOfRangeGivesNowPlusTen) {
    EXPECT_TRUE(readsAsNowPlusTen(""));
    EXPECT_TRUE(readsAsNowPlusTen("abc2026-12-04 10:20:30 LT"));    // 25
    EXPECT_TRUE(readsAsNowPlusTen("abcde2026-12-04 10:20:30 LT"));  // 27
    for (const char* bad :
         {"abcd1999-12-04 10:20:30 LT", "abcd2026-00-04 10:20:30 LT", "abcd2026-13-04 10:20:30 LT",
          "abcd2026-12-00 10:20:30 LT", "abcd2026-12-32 10:20:30 LT", "abcd2026-12-04 24:20:30 LT",
          "abcd2026-12-04 10:60:30 LT", "abcd2026-12-04 10:20:60 LT", "abcd2026-ab-04 10:20:30 LT",
          "abcd2026-12-xy 10:20:30 LT", "abcd2026-12- 4 10:20:30 LT"}) {
        EXPECT_TRUE(readsAsNowPlusTen(bad)) << bad;
    }
}

TEST(ExpiredTimeTest, LettersAndPaddingInTimeFieldsReadAsZero) {
    EXPECT_EQ(read("abcd2026-12-04 xx:yy:zz LT"), LocalTime(2026, 12, 4, 0, 0, 0));
    EXPECT_EQ(read("abcd2026-12-04  9:20:30 LT"), LocalTime(2026, 12, 4, 0, 20, 30));
}

TEST(ExpiredTimeTest, DigitAfterSecondsRunsIntoTheField) {
    // "05" followed by 7 reads as 57 only because the separator position holds a digit
    // and "057" is still a valid number of seconds.
    EXPECT_EQ(read("abcd2026-12-04 10:20:057LT"), LocalTime(2026, 12, 4, 10, 20, 57));
    EXPECT_TRUE(readsAsNowPlusTen("abcd2026-12-04 10:20:307LT"));
}

TEST(ExpiredTimeTest, LateDatesAreClampedIntoEarly2038) {
    EXPECT_EQ(read("abcd2038-06-30 12:00:00 LT"), LocalTime(2038, 1, 17, 12, 0, 0));
    EXPECT_EQ(read("abcd2040-01-05 08:00:00 LT"), LocalTime(2038, 1, 5, 8, 0, 0));
    EXPECT_EQ(read("abcd2037-12-31 23:59:59 LT"), LocalTime(2037, 12, 31, 23, 59, 59));
}

TEST(ExpiredTimeTest, DaysPastMonthEndRollOver) {
    EXPECT_EQ(read("abcd2026-02-30 00:00:00 LT"), LocalTime(2026, 3, 2, 0, 0, 0));
}

TEST(ExpiredTimeTest, OverlongYearReadsLikeTheCLibrary) {
    // A digit in the separator's place lets the year run on: 2026112 is a valid year and
    // clamps into 2038, while the month is still read at its own position.
    EXPECT_EQ(read("abcd2026112-04 10:20:30 LT"), LocalTime(2038, 1, 4, 10, 20, 30));
    // Twenty digits saturate the reading, which cut to int is negative: invalid.
    EXPECT_TRUE(readsAsNowPlusTen("abcd99999999999999999999LT"));
}

}  // namespace

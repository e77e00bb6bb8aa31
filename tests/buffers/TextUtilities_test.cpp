// GUID text and HHMMSS formatting.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "RVUtil/TextUtilities.h"

namespace RVUtil::test {
namespace {

bool lowerHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// Plain: 32 lower-case hex digits; hyphenated: groups of 8-4-4-4-12. Each call is new.
TEST(GuidTest, FormsAreLowerHexDigitsInTheirGroups) {
    for (const bool hyphenated : {false, true}) {
        const CString a = hyphenated ? RVUtil_gfnGenerateGUID2() : RVUtil_gfnGenerateGUID();
        ASSERT_EQ(a.GetLength(), hyphenated ? 36 : 32);
        for (int i = 0; i < a.GetLength(); ++i) {
            const bool dash = hyphenated && (i == 8 || i == 13 || i == 18 || i == 23);
            EXPECT_TRUE(dash ? a[i] == '-' : lowerHex(a[i])) << a.GetString();
        }
        EXPECT_NE(a, hyphenated ? RVUtil_gfnGenerateGUID2() : RVUtil_gfnGenerateGUID());
    }
}

TEST(HhmmssTest, IntegerPartAsSixOrMoreDigits) {
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(93005.7), "093005");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(5), "000005");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(235959), "235959");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(0.5), "000000");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(1234567), "1234567");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(2147483647.9), "2147483647");
}

TEST(HhmmssTest, NoTextForValuesOutsideThePositive32BitRange) {
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(0), "");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(-93005), "");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(std::nan("")), "");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(2147483648.0), "");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(1e300), "");
    EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(std::numeric_limits<double>::infinity()), "");
}

}  // namespace
}  // namespace RVUtil::test

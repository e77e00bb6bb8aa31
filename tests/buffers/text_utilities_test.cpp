// GUID text and HHMMSS formatting.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <string>
#include <utility>

#include "RVUtil/TextUtilities.h"

namespace RVUtil::test {
namespace {

// Plain: 32 lower-case hex digits; hyphenated: groups of 8-4-4-4-12. Each call is new.
TEST(GuidTest, FormsAreLowerHexDigitsInTheirGroups) {
    const std::regex plain("[0-9a-f]{32}"), hyphenated("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}");
    const CString a = RVUtil_gfnGenerateGUID(), b = RVUtil_gfnGenerateGUID2();
    EXPECT_TRUE(std::regex_match(a.GetString(), plain)) << a.GetString();
    EXPECT_TRUE(std::regex_match(b.GetString(), hyphenated)) << b.GetString();
    EXPECT_NE(a, RVUtil_gfnGenerateGUID());
    EXPECT_NE(b, RVUtil_gfnGenerateGUID2());
}

// The integer part as six or more digits; no text outside the positive 32-bit range.
TEST(HhmmssTest, IntegerPartAsSixOrMoreDigits) {
    const std::pair<double, const char*> cases[] = {
        {93005.7, "093005"}, {1234567, "1234567"}, {2147483647.9, "2147483647"}, {0.5, "000000"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(value), text) << value;
    }
    for (const double value :
         {0.0, -93005.0, std::nan(""), 2147483648.0, std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(value), "") << value;
    }
}

}  // namespace
}  // namespace RVUtil::test

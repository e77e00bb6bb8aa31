// GUID text and HHMMSS formatting.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "RVUtil/TextUtilities.h"

namespace RVUtil::test {
namespace {

// Plain: 32 lower-case hex digits; hyphenated: groups of 8-4-4-4-12. Each call is new.
TEST(GuidTest, FormsAreLowerHexDigitsInTheirGroups) {
    for (const bool hyphenated : {false, true}) {
        const CString a = hyphenated ? RVUtil_gfnGenerateGUID2() : RVUtil_gfnGenerateGUID();
        ASSERT_EQ(a.GetLength(), hyphenated ? 36 : 32);
        for (int i = 0; i < a.GetLength(); ++i) {
            const bool dash = hyphenated && (i == 8 || i == 13 || i == 18 || i == 23);
            EXPECT_TRUE(dash ? a[i] == '-'
                             : std::string_view("0123456789abcdef").find(a[i]) !=
                                   std::string_view::npos)
                << a.GetString();
        }
        EXPECT_NE(a, hyphenated ? RVUtil_gfnGenerateGUID2() : RVUtil_gfnGenerateGUID());
    }
}

// The integer part as six or more digits; no text outside the positive 32-bit range.
TEST(HhmmssTest, IntegerPartAsSixOrMoreDigits) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {93005.7, "093005"},
        {1234567, "1234567"},
        {2147483647.9, "2147483647"},
        {0.5, "000000"},
        {0, ""},
        {-93005, ""},
        {std::nan(""), ""},
        {2147483648.0, ""},
        {std::numeric_limits<double>::infinity(), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RVUtil_TimeFormatter_HHMMSS(c.value), c.text) << c.value;
    }
}

}  // namespace
}  // namespace RVUtil::test

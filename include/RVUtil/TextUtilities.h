#pragma once

#include "RVUtil/CString.h"
#include "RVUtil/Export.h"

namespace RVUtil {

// A fresh random GUID as 32 lower-case hexadecimal digits.
RVUTIL_API CString RVUtil_gfnGenerateGUID();
// A fresh random GUID as 8-4-4-4-12 lower-case hexadecimal digits with hyphens.
RVUTIL_API CString RVUtil_gfnGenerateGUID2();

// An HHMMSS-coded time (93005.7 is 09:30:05) as six digits, "093005"; hours of three or
// more digits make it longer. Empty for values not above 0 and for values whose integer
// part does not fit a signed 32-bit number.
RVUTIL_API CString RVUtil_TimeFormatter_HHMMSS(double dTime);

}  // namespace RVUtil

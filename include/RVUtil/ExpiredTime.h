#pragma once

#include "RVUtil/CString.h"
#include "RVUtil/CTime32.h"
#include "RVUtil/Export.h"

namespace RVUtil {

// Converts the text of a "VR_Expired" header, a 26-character local date and time such as
// "Exp:2026-12-04 10:20:30 LT", into a CTime32. A text that is not a valid expiry (wrong
// length, a field out of range) gives the current time plus 10 seconds. Dates in 2038 or
// later are clamped to 2038-01-01 .. 2038-01-17, keeping the time of day.
RVUTIL_API CTime32 RVUtil_gfnGetExpiredTime(const CString& text);

}  // namespace RVUtil

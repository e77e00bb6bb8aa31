#pragma once

namespace RVUtil {

// The servers' own verdicts on a response.
inline constexpr const char* kErrorVerdictHeader = "RV_Error";  // non-empty: request refused
inline constexpr const char* kExpiryHeader = "VR_Expired";      // when the content expires

}  // namespace RVUtil

#pragma once

namespace RVUtil {

// The servers' own verdicts on a response: what the read functions apply and what a streaming
// fetch decides on before a body reaches its receiver.
inline constexpr const char* kErrorVerdictHeader = "RV_Error";  // non-empty: request refused
inline constexpr const char* kExpiryHeader = "VR_Expired";      // when the content expires

}  // namespace RVUtil

#pragma once

// The records of a failed request: the failure with the transport's error number, then the
// same failure in plain words. Fixed texts: hosts and their log readers match on them, so
// they do not change.
namespace RVUtil::inet {

constexpr const char* kStatusError = "Http Status Error %d  %s";
constexpr const char* kSendError = "[Http Send Error]ErrorCode=%d, Url=%s";
constexpr const char* kPostSendError = "[Http Post Send Error]ErrorCode=%d, Url=%s";
constexpr const char* kReadError = "[Http Read Error]ErrorCode=%d, Url=%s";
constexpr const char* kErrorDetail = "[Http Error Detail]%s";

}  // namespace RVUtil::inet

#pragma once

// The record both fetchers write when a response body would pass the process's body limit
// (RVUtil_gfnSetBodyLimit), as received or as decoded, so that a host reading its log learns
// which limit ended the request and how to change it. Written at level 8 with the limit in
// bytes and the URL. A fixed text: hosts and their log readers match on it.
namespace RVUtil::http {

inline constexpr const char* kBodyOverLimitRecord =
    "[Body Limit]Response body over the limit of %lld bytes, Url=%s";

}  // namespace RVUtil::http

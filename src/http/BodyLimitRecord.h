#pragma once

// The record both fetchers write when a response body would pass the process's body limit
// (RVUtil_gfnSetBodyLimit), so that a host reading its log learns which limit ended the
// request and how to change it.
namespace RVUtil::http {

// Writes "[Body Limit]Response body over the limit of <limit> bytes, Url=<url>" at level 8.
void LogBodyOverLimit(long long limit, const char* url);

}  // namespace RVUtil::http

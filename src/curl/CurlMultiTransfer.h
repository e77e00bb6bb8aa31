#pragma once

#include <curl/curl.h>

namespace RVUtil::curl {

// Runs one easy handle to the end of its transfer on multi and takes it off again, the way
// curl_easy_perform runs a handle on a multi handle of its own: the same loop of work and
// waits (at most a second each, so that the progress callback keeps being asked), the same
// result codes. A multi handle kept from request to request holds the connection and name
// caches, so a fresh easy handle per request still finds the keep-alive connection of the
// one before. Errors of the multi interface itself come back as CURLE_OUT_OF_MEMORY or
// CURLE_BAD_FUNCTION_ARGUMENT (a null multi or easy handle among them).
CURLcode PerformOnMulti(CURLM* multi, CURL* transfer);

}  // namespace RVUtil::curl

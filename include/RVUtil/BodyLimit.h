#pragma once

#include "RVUtil/Export.h"

namespace RVUtil {

// The most bytes one response body may hold, for every fetcher and decoder of the process:
// the body as it arrives, as libcurl decodes it, and as Decompress decodes it. A body that
// would pass it fails its request (the fetchers write a log record naming the limit), and a
// declared Content-Length above it fails before anything is allocated.
constexpr long long kDefaultBodyLimit = 1LL << 30;  // 1 GiB
// Sizes reach hosts as 32-bit counts, so no limit goes beyond this.
constexpr long long kMaxBodyLimit = 0x7FFFFFFFLL;

// Sets the limit for requests that start from now on and returns the limit in force: a
// value of 0 or below restores the default, one above kMaxBodyLimit is taken as that.
RVUTIL_API long long RVUtil_gfnSetBodyLimit(long long bytes);
RVUTIL_API long long RVUtil_gfnGetBodyLimit();

}  // namespace RVUtil

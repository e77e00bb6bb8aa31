#pragma once

#include "RVUtil/Export.h"

namespace RVUtil {

// Which fetcher suits this machine: 1 for CRVHttpFetcher when the system's proxy settings
// send the default connection through a proxy of any kind (an automatic-configuration
// script, automatic detection, a named proxy server), 0 for CCurlHttpFetcher otherwise.
// The first answer is kept for the rest of the process. Its first run also sends the log
// to the folder named by the environment variable RVUTIL_LOG_DIR when it is set (set but
// empty: the log stays where it is, standard error unless the host chose otherwise), else
// to the folder "Log" beside the host's executable, and writes the start-up record there.
// It never fails: when the settings cannot be read it answers 1, and asks again next time.
RVUTIL_API int RVUtil_IsUseWinInet();

}  // namespace RVUtil

#include "http/BodyLimitRecord.h"

#include "log/PXLog.h"

namespace RVUtil::http {

void LogBodyOverLimit(long long limit, const char* url) {
    LogChannel()(CPXLog::LVL_ERROR)
        .Write("[Body Limit]Response body over the limit of %lld bytes, Url=%s", limit,
               url != nullptr ? url : "");
}

}  // namespace RVUtil::http

#include "http/BodyLimitRecord.h"

#include "log/PXLog.h"

namespace RVUtil::http {
namespace {

// A fixed text: hosts and their log readers match on it, so it does not change.
constexpr const char* kBodyOverLimit =
    "[Body Limit]Response body over the limit of %lld bytes, Url=%s";

}  // namespace

void LogBodyOverLimit(long long limit, const char* url) {
    LogChannel()(CPXLog::LVL_ERROR).Write(kBodyOverLimit, limit, url != nullptr ? url : "");
}

}  // namespace RVUtil::http

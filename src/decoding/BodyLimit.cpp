#include "RVUtil/BodyLimit.h"

#include <algorithm>
#include <atomic>

#include "decoding/BodyLimitFor.h"

namespace RVUtil {
namespace {

// Read by every request and decoding; relaxed is enough, as a request that starts while
// another thread changes the limit may see either value.
std::atomic<long long> g_bodyLimit{kDefaultBodyLimit};

}  // namespace

long long RVUtil_gfnSetBodyLimit(long long bytes) {
    const long long limit =
        bytes <= 0 ? kDefaultBodyLimit : (bytes > kMaxBodyLimit ? kMaxBodyLimit : bytes);
    g_bodyLimit.store(limit, std::memory_order_relaxed);
    return limit;
}

long long RVUtil_gfnGetBodyLimit() {
    return g_bodyLimit.load(std::memory_order_relaxed);
}

}  // namespace RVUtil

namespace RVUtil::decoding {

std::uint64_t BodyLimitFor(const http::CallSettings* call) {
    if (call == nullptr || !call->options.bodyLimit.has_value()) {
        return static_cast<std::uint64_t>(RVUtil_gfnGetBodyLimit());
    }
    const std::uint64_t asked = *call->options.bodyLimit;
    if (call->sink != nullptr) {
        return asked;
    }
    return asked == 0 ? static_cast<std::uint64_t>(kMaxBodyLimit)
                      : std::min(asked, static_cast<std::uint64_t>(kMaxBodyLimit));
}

}  // namespace RVUtil::decoding

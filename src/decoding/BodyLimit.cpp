#include "RVUtil/BodyLimit.h"

#include <atomic>

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

#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "RVUtil/FetchOptions.h"

namespace RVUtil::http {

// What a fetch asks of a fetcher for its one request, beyond what the read functions ask:
// the options, and where the body goes. While a fetcher holds none, it behaves exactly as
// its exported members say.
struct CallSettings {
    const FetchOptions& options;
    // Null: the body whole into the fetcher's buffer. Otherwise it streams to the sink.
    const BodySink* sink = nullptr;
};

// A time-out as the fetchers' 32-bit millisecond counts take it (longer ones are cut there).
inline std::uint32_t MillisecondsOf(std::chrono::milliseconds duration) {
    return static_cast<std::uint32_t>(
        std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0, UINT32_MAX));
}

}  // namespace RVUtil::http

#pragma once

#include <cstddef>
#include <string>

namespace rvtest {

// The response body a fetcher holds (either facade, or the curl implementation), as text.
template <class Fetcher>
std::string BodyOf(Fetcher& fetcher) {
    const auto* body = fetcher.GetResponse();
    return body == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(body),
                                         static_cast<std::size_t>(fetcher.GetResponseSize()));
}

}  // namespace rvtest

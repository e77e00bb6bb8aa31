#pragma once

#include <memory>
#include <string>

#include <RVUtil/Fetch.h>

#include "Options.h"

namespace rvfetch {

// One of the library's two fetchers, made once for the whole run, so that its connections
// serve every URL and redirect of the run; each request is one outcome-interface fetch.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual const char* Name() const = 0;
    virtual bool IsCurl() const = 0;
    // sink null: the body whole, in the outcome.
    virtual RVUtil::FetchOutcome Fetch(const std::string& url, const RVUtil::FetchOptions& options,
                                       const RVUtil::BodySink* sink) = 0;
};

// The backend asked for (auto follows the library's probe), or null with the reason when
// its fetcher cannot be set up.
std::unique_ptr<Backend> MakeBackend(BackendChoice choice, std::string& why);

}  // namespace rvfetch

#include "Backend.h"

#include <RVUtil/RVUtil.h>

namespace rvfetch {

namespace {

template <class Fetcher>
class FetcherBackend : public Backend {
  public:
    FetcherBackend(const char* name, bool curl) : m_name(name), m_curl(curl) {}
    bool Init() { return m_fetcher.Init() != 0; }

    const char* Name() const override { return m_name; }
    bool IsCurl() const override { return m_curl; }

    RVUtil::FetchOutcome Fetch(const std::string& url, const RVUtil::FetchOptions& options,
                               const RVUtil::BodySink* sink) override {
        return sink != nullptr ? RVUtil::Fetch(m_fetcher, url, options, *sink)
                               : RVUtil::Fetch(m_fetcher, url, options);
    }

  private:
    Fetcher m_fetcher;
    const char* m_name;
    bool m_curl;
};

template <class Fetcher>
std::unique_ptr<Backend> Make(const char* name, bool curl, std::string& why) {
    try {
        auto backend = std::make_unique<FetcherBackend<Fetcher>>(name, curl);
        if (backend->Init()) {
            return backend;
        }
    } catch (...) {
        // told below like a failed Init
    }
    why = std::string("the ") + name + " backend's fetcher could not be set up";
    return nullptr;
}

}  // namespace

std::unique_ptr<Backend> MakeBackend(BackendChoice choice, std::string& why) {
    if (choice == BackendChoice::Auto) {
        // The library's probe: the own transport whenever the system reaches the network
        // through a proxy, curl otherwise.
        choice = RVUtil::RVUtil_IsUseWinInet() != 0 ? BackendChoice::Inet : BackendChoice::Curl;
    }
    return choice == BackendChoice::Curl ? Make<RVUtil::CCurlHttpFetcher>("curl", true, why)
                                         : Make<RVUtil::CRVHttpFetcher>("inet", false, why);
}

}  // namespace rvfetch

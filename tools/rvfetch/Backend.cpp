#include "Backend.h"

#include <cstdlib>
#include <string>

namespace rvfetch {

namespace {

// The same steps over either fetcher: initialise, point at the proxy, add the headers,
// then one read function call.
template <class Fetcher, class FullForm, class PostForm>
FetchResult FetchWith(Fetcher& fetcher, const Options& options, FullForm fullForm,
                      PostForm postForm) {
    FetchResult result;
    try {
        if (!fetcher.Init()) {
            result.code = RVUtil::ERR_INIT;
            return result;
        }
    } catch (...) {
        result.code = RVUtil::ERR_NO_FETCHER;
        return result;
    }
    for (const auto& [name, value] : options.headers) {
        fetcher.AddHeader(name.c_str(), value.c_str());
    }
    unsigned char* body = nullptr;
    if (options.postData) {
        std::string data = *options.postData;
        result.code =
            postForm(&fetcher, options.url.c_str(), &body, result.size, options.timeoutMs,
                     reinterpret_cast<unsigned char*>(data.data()), static_cast<long>(data.size()));
    } else {
        result.code = fullForm(&fetcher, options.url.c_str(), &body, result.size, result.message,
                               options.showExpiry ? &result.expiry : nullptr, options.timeoutMs);
    }
    if (result.code == RVUtil::ERR_OK) {
        result.body.reset(body);
    }
    result.status = fetcher.GetResponseHttpStatus();
    result.rawHeaders = fetcher.GetRawResponseHeaders();
    return result;
}

class CurlBackend : public Backend {
  public:
    const char* name() const override { return "curl"; }

    FetchResult fetch(const Options& options) override {
        RVUtil::CCurlHttpFetcher fetcher;
        if (!options.proxy.empty()) {
            // SetProxy acts on the live handle, so the fetcher is initialised first.
            fetcher.Init();
            const std::size_t colon = options.proxy.rfind(':');
            fetcher.SetProxy(options.proxy.substr(0, colon).c_str(),
                             static_cast<WORD>(std::atoi(options.proxy.c_str() + colon + 1)));
        }
        return FetchWith(fetcher, options,
                         static_cast<RVUtil::ErrorCode (*)(
                             RVUtil::CCurlHttpFetcher*, const char*, unsigned char**, long&,
                             CString&, CTime32*, unsigned long)>(&RVUtil::RVUtil_gfnCurlReadHTML),
                         &RVUtil::RVUtil_gfnCurlReadHTMLWithPostData);
    }
};

class InetBackend : public Backend {
  public:
    const char* name() const override { return "inet"; }

    FetchResult fetch(const Options& options) override {
        if (!options.proxy.empty()) {
            // This transport takes its proxy from the system settings only, which are the
            // process environment; rvfetch is the whole process, so it sets them.
            const std::string url = "http://" + options.proxy;
            setenv("http_proxy", url.c_str(), 1);
            setenv("https_proxy", url.c_str(), 1);
        }
        RVUtil::CRVHttpFetcher fetcher;
        return FetchWith(
            fetcher, options,
            static_cast<RVUtil::ErrorCode (*)(RVUtil::CRVHttpFetcher*, const char*, unsigned char**,
                                              long&, CString&, CTime32*, unsigned long)>(
                &RVUtil::RVUtil_gfnReadHTML),
            &RVUtil::RVUtil_gfnReadHTMLWithPostData);
    }
};

}  // namespace

std::unique_ptr<Backend> MakeCurlBackend() {
    return std::make_unique<CurlBackend>();
}

std::unique_ptr<Backend> MakeInetBackend() {
    return std::make_unique<InetBackend>();
}

std::unique_ptr<Backend> ChooseBackend(BackendChoice choice) {
    switch (choice) {
        case BackendChoice::Curl:
            return MakeCurlBackend();
        case BackendChoice::Inet:
            return MakeInetBackend();
        case BackendChoice::Auto:
            // The library's probe: the transport whenever the system reaches the network
            // through a proxy, curl otherwise. Its first call also points the library's log
            // at the Log folder beside this program.
            return RVUtil::RVUtil_IsUseWinInet() ? MakeInetBackend() : MakeCurlBackend();
    }
    return nullptr;
}

const char* CodeName(RVUtil::ErrorCode code) {
    switch (code) {
        case RVUtil::ERR_OK:
            return "ERR_OK";
        case RVUtil::ERR_REQUEST:
            return "ERR_REQUEST";
        case RVUtil::ERR_HTTP_STATUS:
            return "ERR_HTTP_STATUS";
        case RVUtil::ERR_DECOMPRESS:
            return "ERR_DECOMPRESS";
        case RVUtil::ERR_ALLOC:
            return "ERR_ALLOC";
        case RVUtil::ERR_SERVER_VERDICT:
            return "ERR_SERVER_VERDICT";
        case RVUtil::ERR_INIT:
            return "ERR_INIT";
        case RVUtil::ERR_NO_FETCHER:
            return "ERR_NO_FETCHER";
    }
    return "ERR_UNKNOWN";
}

}  // namespace rvfetch

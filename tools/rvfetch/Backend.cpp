#include "Backend.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "RecordTrail.h"

namespace rvfetch {

namespace {

template <class Fetcher>
using FullForm = RVUtil::ErrorCode (*)(Fetcher*, const char*, unsigned char**, long&, CString&,
                                       CTime32*, unsigned long);
template <class Fetcher>
using PostForm = RVUtil::ErrorCode (*)(Fetcher*, const char*, unsigned char**, long&, unsigned long,
                                       unsigned char*, long);

// Initialises fetcher as the read functions' own-fetcher forms do: nothing when it is
// ready, ERR_INIT when Init fails, ERR_NO_FETCHER when it raises.
template <class Fetcher>
std::optional<RVUtil::ErrorCode> InitFailure(Fetcher& fetcher) {
    try {
        if (!fetcher.Init()) {
            return RVUtil::ERR_INIT;
        }
    } catch (...) {
        return RVUtil::ERR_NO_FETCHER;
    }
    return std::nullopt;
}

FetchResult Failed(RVUtil::ErrorCode code) {
    FetchResult result;
    result.code = code;
    return result;
}

// The same steps over either fetcher, once it is initialised (and pointed at the proxy):
// the headers, then one read function call.
template <class Fetcher>
FetchResult FetchWith(Fetcher& fetcher, const Request& request, const RecordTrail& trail,
                      FullForm<Fetcher> fullForm, PostForm<Fetcher> postForm) {
    FetchResult result;
    const std::size_t mark = trail.Mark();
    for (const auto& [name, value] : request.headers) {
        fetcher.AddHeader(name.c_str(), value.c_str());
    }
    if (const auto refused = trail.FindSince(mark, record::kHeaderRefused)) {
        FetchResult refusal = Failed(RVUtil::ERR_REQUEST);
        refusal.refusedHeader = refused->text;
        return refusal;
    }
    unsigned char* body = nullptr;
    if (request.postData) {
        std::string data = *request.postData;
        result.code =
            postForm(&fetcher, request.url.c_str(), &body, result.size, request.timeoutMs,
                     reinterpret_cast<unsigned char*>(data.data()), static_cast<long>(data.size()));
    } else {
        result.code = fullForm(&fetcher, request.url.c_str(), &body, result.size, result.message,
                               request.wantExpiry ? &result.expiry : nullptr, request.timeoutMs);
    }
    if (result.code == RVUtil::ERR_OK) {
        result.body.reset(body);
    }
    result.rawHeaders = fetcher.GetRawResponseHeaders();
    return result;
}

class CurlBackend : public Backend {
  public:
    const char* name() const override { return "curl"; }
    bool hasConnectTimeout() const override { return false; }

    FetchResult fetch(const Request& request, const RecordTrail& trail) override {
        RVUtil::CCurlHttpFetcher fetcher;
        if (const auto failure = InitFailure(fetcher)) {
            return Failed(*failure);
        }
        if (!request.proxyHost.empty()) {
            fetcher.SetProxy(request.proxyHost.c_str(), request.proxyPort);
        }
        return FetchWith<RVUtil::CCurlHttpFetcher>(fetcher, request, trail,
                                                   &RVUtil::RVUtil_gfnCurlReadHTML,
                                                   &RVUtil::RVUtil_gfnCurlReadHTMLWithPostData);
    }
};

class InetBackend : public Backend {
  public:
    const char* name() const override { return "inet"; }
    bool hasConnectTimeout() const override { return true; }

    FetchResult fetch(const Request& request, const RecordTrail& trail) override {
        if (!request.proxyHost.empty()) {
            // This transport takes its proxy from the system settings only, which are the
            // process environment; rvfetch is the whole process, so it sets them.
            const std::string url =
                "http://" + request.proxyHost + ":" + std::to_string(request.proxyPort);
            setenv("http_proxy", url.c_str(), 1);
            setenv("https_proxy", url.c_str(), 1);
        }
        RVUtil::CRVHttpFetcher fetcher;
        if (const auto failure = InitFailure(fetcher)) {
            return Failed(*failure);
        }
        return FetchWith<RVUtil::CRVHttpFetcher>(fetcher, request, trail,
                                                 &RVUtil::RVUtil_gfnReadHTML,
                                                 &RVUtil::RVUtil_gfnReadHTMLWithPostData);
    }
};

}  // namespace

std::unique_ptr<Backend> ChooseBackend(BackendChoice choice) {
    switch (choice) {
        case BackendChoice::Curl:
            return std::make_unique<CurlBackend>();
        case BackendChoice::Inet:
            return std::make_unique<InetBackend>();
        case BackendChoice::Auto:
            // The library's probe: the transport whenever the system reaches the network
            // through a proxy, curl otherwise.
            return ChooseBackend(RVUtil::RVUtil_IsUseWinInet() ? BackendChoice::Inet
                                                               : BackendChoice::Curl);
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

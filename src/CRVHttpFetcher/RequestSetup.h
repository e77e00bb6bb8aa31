#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "RVUtil/CStringArray.h"
#include "RVUtil/WinTypes.h"
#include "http/HeaderPairs.h"
#include "platform/SystemProxy.h"
#include "transport/InetError.h"
#include "transport/NetStream.h"
#include "transport/UrlCracker.h"

namespace RVUtil::transport {
class Connection;
class Request;
class Session;
}  // namespace RVUtil::transport

// What every request form of CRVHttpFetcher does alike before it sends.
namespace RVUtil::inet {

// The longest URL a request takes. A longer one is refused whole, with a log record, rather
// than cut: a cut URL asks the server for something else (its query string lost).
constexpr std::size_t kMaxUrlLength = 64 * 1024;

// A request's URL, canonical and split into what the transport needs.
struct RequestUrl {
    transport::UrlScheme scheme = transport::UrlScheme::Other;
    std::string host;
    unsigned short port = 0;
    std::string path;  // with the query string
};

// What a request form asks for. A postLength other than 0 makes the request a POST of
// postData; a body that cannot exist (negative length, data missing) fails the send before
// anything goes out. readsOwnLength: the caller reads the declared length from the header
// block itself (see transport::Request::IgnoreUnreadableLength).
struct ExchangeOrder {
    const char* url = nullptr;
    const char* userName = nullptr;
    const char* password = nullptr;
    DWORD timeout = 0;  // connect and receive, in milliseconds; 0 keeps the defaults
    const BYTE* postData = nullptr;
    int postLength = 0;
    bool readsOwnLength = false;
    DWORD connectTimeout = 0;  // connecting alone, in milliseconds, when not 0
    // What a fetch asks beyond the read functions (RVUtil/Fetch.h): a HEAD instead of the
    // GET, its own proxies, and the trust its TLS peer must earn.
    bool head = false;
    bool post = false;  // a POST even of no bytes
    std::optional<platform::SystemProxySettings> proxies = {};
    transport::TlsTrust trust = {};
    std::chrono::milliseconds maxTime{0};  // the whole request; 0 for no such bound
};

// The step at which an exchange stopped; each request form reports it its own way.
enum class ExchangeStep { Url, Connect, Open, Send, Sent };

// An exchange as far as it got. Members close in the reverse order they open: the request,
// then the connection.
struct OpenedExchange {
    ExchangeStep reached = ExchangeStep::Url;
    // At ExchangeStep::Url: why the URL cannot be used, in words.
    std::string urlRefusal;
    RequestUrl target;
    std::unique_ptr<transport::Connection> connection;
    std::unique_ptr<transport::Request> request;
    transport::InetError sent = transport::kInetOk;  // Send's result, from ExchangeStep::Send on
    // The POST body cannot exist (negative length, data missing): nothing was sent, and
    // sent says kInetInvalidParameter.
    bool bodyRefused = false;
    bool post = false;

    OpenedExchange();
    OpenedExchange(OpenedExchange&&) noexcept;
    ~OpenedExchange();
};

// The request headers an exchange sends: the fetcher's own list as the host keeps it, or
// the list a fetch merged for its one request.
using ExchangeHeaders = std::variant<std::reference_wrapper<const CStringArray>,
                                     std::reference_wrapper<const http::HeaderList>>;

// The prologue every request form shares: cracks the URL, opens the connection (with the
// time-outs) and the request, adds the header lines of headers and sends the request. A
// connection or request that cannot be set up for want of memory counts as one that was
// not obtained. reached is Sent when the response head arrived; otherwise it names the step
// that failed (Send with the transport's error in sent).
OpenedExchange OpenExchange(transport::Session& session, const ExchangeOrder& order,
                            ExchangeHeaders headers);

}  // namespace RVUtil::inet

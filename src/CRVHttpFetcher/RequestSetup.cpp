#include "CRVHttpFetcher/RequestSetup.h"

#include <cstring>
#include <new>

#include "CRVHttpFetcher/FetcherLimits.h"
#include "http/PairArray.h"
#include "log/PXLog.h"
#include "platform/Ascii.h"
#include "transport/Request.h"
#include "transport/Session.h"

namespace RVUtil::inet {
namespace {

// The record of a refused URL: why, its length, and its start (a long one would flood the
// log; the log escapes control characters, so the record stays one line). A fixed text,
// like the fetchers' other records.
constexpr const char* kUrlRefused = "[Http Url Error]URL refused (%s), Length=%zu, Url=%.256s";

const char* RefusalOf(const std::string& canonical, const transport::UrlParts& parts) {
    for (const char c : canonical) {
        if (ascii::IsControl(c)) {
            return "control character";
        }
    }
    for (const char c : parts.host) {
        if (c == ' ') {
            return "blank in the host name";
        }
    }
    // No name that long resolves (DNS names end at 253 bytes), and CrackUrl has room for no
    // more either: refused before anything asks a resolver.
    if (parts.host.size() >= kHostNameSize) {
        return "host name longer than 255 bytes";
    }
    return nullptr;
}

// Every request keeps its connection alive. TLS goes by the scheme and the port: an https
// URL is sent over TLS whatever its port, and so is an http URL that names port 443.
transport::RequestFlags RequestFlagsFor(const RequestUrl& url) {
    constexpr unsigned short kSecurePort = 443;
    const bool secure = url.scheme == transport::UrlScheme::Https || url.port == kSecurePort;
    return transport::RequestFlags{.tls = secure, .keepConnection = true};
}

// Adds each name/value pair of headers, in list order, as the line "name: value". A pair the
// transport refuses (a line break in it, put in the list around AddHeader) is left out.
// Name and value end at a NUL in them, as they always have on the wire.
void AddRequestHeaderLines(ExchangeHeaders headers, transport::Request& request) {
    std::string line;
    const auto add = [&](const char* name, const char* value) {
        line.assign(name).append(": ").append(value);
        request.AddHeaderLine(line);
    };
    if (const auto* own = std::get_if<0>(&headers)) {
        http::ForEachPair(own->get(), [&](INT_PTR, const CString& name, const CString& value) {
            add(name.GetString(), value.GetString());
            return true;
        });
        return;
    }
    for (const http::HeaderPair& pair : std::get<1>(headers).get()) {
        add(pair.name.c_str(), pair.value.c_str());
    }
}

// Canonicalises and splits url for Request and Request2. False for a null URL and one that
// does not split or is not http or https (nothing logged), and for a URL refused with a log
// record: longer than kMaxUrlLength, holding a control character (CR, LF, NUL, ...) once the
// blanks and line ends around it are dropped, or a blank in its host. Blanks in the path and
// query are sent percent-escaped, so nothing of the URL can split the request line.

bool CrackRequestUrl(const char* url, RequestUrl* out, std::string* refusal) {
    if (url == nullptr) {
        *refusal = "no URL";
        return false;
    }
    const std::size_t length = strnlen(url, kMaxUrlLength + 1);
    if (length > kMaxUrlLength) {
        *refusal = "URL longer than 64 KiB";
        LogChannel()(log::CPXLog::LVL_ERROR)
            .Write(kUrlRefused, "longer than 64 KiB", std::strlen(url), url);
        return false;
    }
    std::string canonical;
    transport::UrlParts parts;
    if (!transport::CanonicalizeUrl(std::string_view(url, length), &canonical) ||
        !transport::CrackUrl(canonical, &parts) ||
        (parts.scheme != transport::UrlScheme::Http &&
         parts.scheme != transport::UrlScheme::Https)) {
        *refusal = "not an http or https URL that can be read";
        return false;
    }
    if (const char* reason = RefusalOf(canonical, parts); reason != nullptr) {
        *refusal = std::string("URL refused: ") + reason;
        LogChannel()(log::CPXLog::LVL_ERROR).Write(kUrlRefused, reason, length, url);
        return false;
    }
    out->scheme = parts.scheme;
    out->host = std::move(parts.host);
    out->port = parts.port;
    out->path = std::move(parts.path);
    return true;
}

}  // namespace

OpenedExchange::OpenedExchange() = default;
OpenedExchange::OpenedExchange(OpenedExchange&&) noexcept = default;
OpenedExchange::~OpenedExchange() = default;

OpenedExchange OpenExchange(transport::Session& session, const ExchangeOrder& order,
                            ExchangeHeaders headers) {
    OpenedExchange exchange;
    if (!CrackRequestUrl(order.url, &exchange.target, &exchange.urlRefusal)) {
        return exchange;
    }
    const RequestUrl& target = exchange.target;
    exchange.reached = ExchangeStep::Connect;
    try {
        exchange.connection = transport::Connection::Open(session, target.host, target.port,
                                                          order.userName, order.password);
    } catch (const std::bad_alloc&) {
    }
    if (!exchange.connection) {
        return exchange;
    }
    if (order.timeout != 0) {
        exchange.connection->SetConnectTimeout(transport::Millis(order.timeout));
        exchange.connection->SetReceiveTimeout(transport::Millis(order.timeout));
    }
    if (order.connectTimeout != 0) {
        exchange.connection->SetConnectTimeout(transport::Millis(order.connectTimeout));
    }
    if (order.proxies.has_value()) {
        exchange.connection->SetProxies(*order.proxies);
    }
    exchange.connection->SetTlsTrust(order.trust);
    exchange.connection->SetMaxTime(order.maxTime);
    // The transport never retries a connect, so no retry count needs setting.
    exchange.reached = ExchangeStep::Open;
    exchange.post = order.postLength != 0 || order.post;
    try {
        exchange.request = transport::Request::Open(
            *exchange.connection, exchange.post ? "POST" : (order.head ? "HEAD" : "GET"),
            target.path, RequestFlagsFor(target));
    } catch (const std::bad_alloc&) {
    }
    if (!exchange.request) {
        return exchange;
    }
    transport::Request& request = *exchange.request;
    if (order.readsOwnLength) {
        request.IgnoreUnreadableLength();
    }
    AddRequestHeaderLines(headers, request);

    exchange.reached = ExchangeStep::Send;
    if (!exchange.post || (order.post && order.postLength == 0)) {
        exchange.sent = request.Send(nullptr, 0);
    } else if (order.postLength > 0 && order.postData != nullptr) {
        exchange.sent = request.Send(order.postData, static_cast<std::size_t>(order.postLength));
    } else {
        exchange.sent = transport::kInetInvalidParameter;
        exchange.bodyRefused = true;
    }
    if (exchange.sent == transport::kInetOk) {
        exchange.reached = ExchangeStep::Sent;
    }
    return exchange;
}

}  // namespace RVUtil::inet

#include <cstdint>
#include <functional>
#include <memory>

#include <string>

#include "CRVHttpFetcher/ExchangeRecords.h"
#include "CRVHttpFetcher/FetcherInternals.h"
#include "CRVHttpFetcher/FetcherLimits.h"
#include "CRVHttpFetcher/RequestSetup.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "http/HeaderPairs.h"
#include "http/PairArray.h"
#include "log/PXLog.h"
#include "transport/Request.h"
#include "transport/Session.h"

namespace RVUtil {

namespace {

using inet::kErrorDetail;
using inet::kPostSendError;
using inet::kSendError;
using inet::kStatusError;

constexpr const char* kNoPostBody = "POST body length negative or its data missing";

// What a fetch asks of the exchange beyond what the read functions ask. sessionProxies: the
// proxies the fetch would use without a proxy of its own.
void ApplyFetchOptions(const FetchOptions& options,
                       const platform::SystemProxySettings& sessionProxies,
                       inet::ExchangeOrder& order) {
    order.connectTimeout = http::MillisecondsOf(options.connectTimeout);
    order.head = options.method == FetchMethod::Head;
    order.post = options.method == FetchMethod::Post;
    order.maxTime = options.maxTime;
    if (options.credentials.has_value()) {
        order.userName = options.credentials->first.c_str();
        order.password = options.credentials->second.c_str();
    }
    if (options.proxy.has_value()) {
        order.proxies = platform::ExplicitProxySettings(*options.proxy, options.noProxy);
    } else if (!options.noProxy.empty()) {
        order.proxies = sessionProxies;
        order.proxies->noProxy = options.noProxy;
    }
    order.trust = transport::TlsTrust{options.caFile, options.caPath, options.verifyPeer};
}

// Opens the exchange, with a fetch's own headers joined to the fetcher's for its one
// request, and what else the fetch asks.
inet::OpenedExchange OpenForCall(transport::Session& session, inet::ExchangeOrder order,
                                 const CStringArray& headers, const http::CallSettings* call) {
    if (call == nullptr) {
        return inet::OpenExchange(session, order, std::cref(headers));
    }
    const http::HeaderList requestHeaders = http::MergeFetchHeaders(
        http::HeaderListOf(headers), call->options.headers, call->options.removedHeaders);
    ApplyFetchOptions(call->options, session.State()->Proxies(), order);
    return inet::OpenExchange(session, order, std::cref(requestHeaders));
}

// Why an exchange's request was not sent, or not whole.
Failure UnsentFailure(const inet::OpenedExchange& exchange) {
    if (exchange.reached == inet::ExchangeStep::Url) {
        return {FailureKind::RefusedUrl, 0, exchange.urlRefusal};
    }
    if (exchange.reached < inet::ExchangeStep::Send) {
        return {FailureKind::OutOfMemory, 0, "no memory for the request"};
    }
    // A body that cannot exist never reached the transport, which has no words for it.
    return exchange.bodyRefused ? Failure{FailureKind::Internal, exchange.sent, kNoPostBody}
                                : exchange.request->LastFailure();
}

// What Request returns for an answer's status code, and the status the fetcher keeps: a GET
// takes any status (with a record for all but 200), a POST only 200, keeping the status it
// had otherwise.
DWORD TakeStatus(int code, bool postForm, std::int32_t& httpStatus, const char* urlPath) {
    if (postForm) {
        if (code == 200) {
            httpStatus = code;
        }
        return static_cast<DWORD>(httpStatus);
    }
    if (code != 200) {
        LogChannel()(log::CPXLog::LVL_ERROR).Write(kStatusError, code, urlPath);
    }
    httpStatus = code;
    return static_cast<DWORD>(code);
}

}  // namespace

DWORD CRVHttpFetcher::Request(const char* url, const char* userName, const char* password,
                              DWORD timeout) {
    return Exchange(url, userName, password, timeout, nullptr, 0, false);
}

DWORD CRVHttpFetcher::Request(const char* url, const char* userName, const char* password,
                              DWORD timeout, BYTE* postData, int postLength) {
    return Exchange(url, userName, password, timeout, postData, postLength, true);
}

DWORD CRVHttpFetcher::Exchange(const char* url, const char* userName, const char* password,
                               DWORD timeout, BYTE* postData, int postLength, bool postForm) {
    Internals& inside = *m_pInternals;
    inside.failure = Failure();
    inside.streamUndecodable = false;
    if (IsSessionReady(1) == 0 || IsDataBufferReady() == 0) {
        inside.failure = {FailureKind::Internal, 0, "the fetcher is not initialised"};
        return 0;
    }
    m_nHttpStatus = 0;
    m_dwReadError = 0;
    m_strRawHeaders.Empty();
    inside.headIndex.Clear();
    const inet::ExchangeOrder order{url,     userName, password,
                                    timeout, postData, postForm ? postLength : 0};
    const http::CallSettings* call = inside.call;
    inet::OpenedExchange exchange = OpenForCall(*m_hSession, order, m_arrReqHeaders, call);
    if (call != nullptr && exchange.request) {
        inside.requestHead = exchange.request->SentHead();
    }
    if (exchange.reached < inet::ExchangeStep::Send || exchange.sent != transport::kInetOk) {
        inside.failure = UnsentFailure(exchange);
        if (exchange.reached >= inet::ExchangeStep::Send) {
            const char* urlPath = exchange.target.path.c_str();
            LogChannel()(log::CPXLog::LVL_ERROR)
                .Write(postForm ? kPostSendError : kSendError, static_cast<int>(exchange.sent),
                       urlPath);
            LogChannel()(log::CPXLog::LVL_ERROR).Write(kErrorDetail, inside.failure.words.c_str());
            // The next request opens a new session. The request and the connection still
            // close after it; they keep what they use alive until then.
            CloseSession();
        }
        return static_cast<DWORD>(m_nHttpStatus);
    }
    inside.urlPath = exchange.target.path;
    const char* urlPath = exchange.target.path.c_str();
    transport::Request& request = *exchange.request;

    m_strRawHeaders = CString(request.RawHeaders());
    if (call != nullptr) {
        inside.headIndex = request.Head().Index();
    }
    DWORD result = 0;
    if (!request.StatusText().empty()) {
        result = TakeStatus(request.StatusCode(), postForm, m_nHttpStatus, urlPath);
        // A fetch keeps the headers and the body of any answer, for the host to read; the
        // results and records stay those of the exported members.
        if (request.StatusCode() != 200 && call == nullptr) {
            return result;
        }
    }
    http::RecordFields(request.Head().View(), m_arrRespHeaders);
    if (inside.Streaming()) {
        StreamBody(request, urlPath);
    } else {
        ReadBody(request, urlPath);
    }
    return result;
}

void CRVHttpFetcher::ParseHeader(char* line) {
    if (line != nullptr) {
        http::RecordHeaderLine(line, m_arrRespHeaders);
    }
}

}  // namespace RVUtil

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>

#include <string>

#include "CRVHttpFetcher/FetcherInternals.h"
#include "CRVHttpFetcher/FetcherLimits.h"
#include "CRVHttpFetcher/RequestSetup.h"
#include "RVUtil/BodyLimit.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "decoding/BodyDelivery.h"
#include "decoding/BodyLimitFor.h"
#include "http/BodyLimitRecord.h"
#include "http/HeaderPairs.h"
#include "http/PairArray.h"
#include "http/VerdictHeaders.h"
#include "log/PXLog.h"
#include "transport/Request.h"
#include "transport/Session.h"

namespace RVUtil {

using decoding::BodyDelivery;
using decoding::BodyLimitFor;

namespace {

// The records of a failed request: the failure with the transport's error number, then the
// same failure in plain words. Fixed texts: hosts and their log readers match on them, so
// they do not change.
constexpr const char* kStatusError = "Http Status Error %d  %s";
constexpr const char* kSendError = "[Http Send Error]ErrorCode=%d, Url=%s";
constexpr const char* kPostSendError = "[Http Post Send Error]ErrorCode=%d, Url=%s";
constexpr const char* kReadError = "[Http Read Error]ErrorCode=%d, Url=%s";
constexpr const char* kErrorDetail = "[Http Error Detail]%s";
constexpr const char* kNoPostBody = "POST body length negative or its data missing";

// What a fetch asks of the exchange beyond what the read functions ask. sessionProxies: the
// proxies the fetch would use without a proxy of its own.
void ApplyFetchOptions(const FetchOptions& options,
                       const platform::SystemProxySettings& sessionProxies, ExchangeOrder& order) {
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
    ExchangeOrder order{url, userName, password, timeout, postData, postLength};
    if (!postForm) {
        order.postLength = 0;
    }
    // A fetch's own headers join the fetcher's for its one request.
    const http::CallSettings* call = inside.call;
    const http::HeaderList requestHeaders =
        call != nullptr
            ? http::MergeFetchHeaders(http::HeaderListOf(m_arrReqHeaders), call->options.headers,
                                      call->options.removedHeaders)
            : http::HeaderList();
    if (call != nullptr) {
        ApplyFetchOptions(call->options, m_hSession->State()->Proxies(), order);
    }
    OpenedExchange exchange = call != nullptr
                                  ? OpenExchange(*m_hSession, order, std::cref(requestHeaders))
                                  : OpenExchange(*m_hSession, order, std::cref(m_arrReqHeaders));
    if (call != nullptr && exchange.request) {
        inside.requestHead = exchange.request->SentHead();
    }
    if (exchange.reached < ExchangeStep::Send) {
        inside.failure = exchange.reached == ExchangeStep::Url
                             ? Failure{FailureKind::RefusedUrl, 0, exchange.urlRefusal}
                             : Failure{FailureKind::OutOfMemory, 0, "no memory for the request"};
        return static_cast<DWORD>(m_nHttpStatus);
    }
    inside.urlPath = exchange.target.path;
    const char* urlPath = exchange.target.path.c_str();
    transport::Request& request = *exchange.request;
    if (const transport::InetError sent = exchange.sent; sent != transport::kInetOk) {
        // A body that cannot exist never reached the transport, which has no words for it.
        inside.failure = exchange.bodyRefused ? Failure{FailureKind::Internal, sent, kNoPostBody}
                                              : request.LastFailure();
        LogChannel()(log::CPXLog::LVL_ERROR)
            .Write(postForm ? kPostSendError : kSendError, static_cast<int>(sent), urlPath);
        LogChannel()(log::CPXLog::LVL_ERROR).Write(kErrorDetail, inside.failure.words.c_str());
        // The next request opens a new session. The request and the connection still close
        // after it; they keep what they use alive until then.
        CloseSession();
        return static_cast<DWORD>(m_nHttpStatus);
    }

    m_strRawHeaders = CString(request.RawHeaders());
    // A fetch keeps the headers and the body of any answer, for the host to read; the
    // results and records stay those of the exported members.
    const bool keepsAnyAnswer = call != nullptr;
    DWORD result = 0;
    if (!request.StatusText().empty()) {
        const int code = request.StatusCode();
        if (postForm) {
            if (code == 200) {
                m_nHttpStatus = code;
            }
            result = static_cast<DWORD>(m_nHttpStatus);
        } else {
            if (code != 200) {
                LogChannel()(log::CPXLog::LVL_ERROR).Write(kStatusError, code, urlPath);
            }
            m_nHttpStatus = code;
            result = static_cast<DWORD>(code);
        }
        if (code != 200 && !keepsAnyAnswer) {
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

// Appends the body to the buffer, reading straight into its block: a body of a declared
// length into one block of exactly that length, reserved before the first byte; one without
// a length into a block that grows as it comes. A body that fails part way keeps what
// arrived; the failure is logged and remembered for IsResponseComplete. The buffer never
// grows past the body limit: a declared length beyond it fails before anything is read.
void CRVHttpFetcher::ReadBody(transport::Request& request, const char* urlPath) {
    const auto limit = static_cast<long long>(BodyLimitFor(m_pInternals->call));
    buffers::BodyStore& body = m_pInternals->body;
    // Room left under the limit; a body appended to an earlier one shares it.
    const auto room = [&] {
        return static_cast<std::size_t>(std::max(0LL, limit - static_cast<long long>(body.Size())));
    };
    std::string detail;
    const auto fail = [&](DWORD error, std::string words) {
        m_dwReadError = error;
        detail = std::move(words);
        m_pInternals->failure = {
            transport::FailureKindOf(static_cast<transport::InetError>(error), true),
            static_cast<long>(error), detail};
    };
    const auto overLimit = [&] {
        LogChannel()(log::CPXLog::LVL_ERROR).Write(http::kBodyOverLimitRecord, limit, urlPath);
        fail(transport::kInetBodyOverLimit,
             "body over the limit of " + std::to_string(limit) + " bytes");
    };
    if (const auto declared = request.DeclaredLength(); declared.has_value()) {
        if (*declared > room()) {
            overLimit();
        } else if (!body.Reserve(static_cast<std::size_t>(*declared))) {
            fail(transport::kInetInternalError, "no memory for the body");
        }
    }
    body.SetGrowthLimit(static_cast<std::size_t>(limit));
    // Where a read goes when the block is full: the bytes are appended (growing the block)
    // when the body goes on, so a block of the declared length never grows for nothing.
    BYTE spill[kReadChunkSize];
    while (m_dwReadError == 0) {
        const bool full = body.Room() == 0 || room() == 0;
        BYTE* into = full ? spill : body.Tail();
        const std::size_t wanted = full ? sizeof spill : std::min(body.Room(), room());
        std::size_t received = 0;
        if (const transport::InetError error = request.Read(into, wanted, &received);
            error != transport::kInetOk) {
            fail(error, request.ErrorDetail());
            m_pInternals->failure = request.LastFailure();
        } else if (received == 0) {
            break;
        } else if (!full) {
            body.Commit(received);
        } else if (received > room()) {
            overLimit();
        } else if (!body.Append(spill, received)) {
            fail(transport::kInetInternalError, "no memory for the body");
        }
    }
    ShowBuffer();
    if (m_dwReadError != 0) {
        LogChannel()(log::CPXLog::LVL_ERROR)
            .Write(kReadError, static_cast<int>(m_dwReadError), urlPath);
        LogChannel()(log::CPXLog::LVL_ERROR).Write(kErrorDetail, detail.c_str());
    }
}

// Hands the body to the streaming fetch's receiver as it arrives (BodyDelivery), never
// holding more than one piece of it. A body that is not to be delivered is not read at all.
void CRVHttpFetcher::StreamBody(transport::Request& request, const char* urlPath) {
    Internals& inside = *m_pInternals;
    const FetchOptions& options = inside.call->options;
    const std::uint64_t limit = BodyLimitFor(inside.call);
    BodyDelivery delivery(*inside.call->sink, options, limit, request.SentHead());
    std::unique_ptr<BYTE[]> piece;
    bool reading = delivery.Begin(request.StatusCode(), request.Head().View());
    if (reading) {
        piece.reset(new (std::nothrow) BYTE[kStreamPieceSize]);
        if (!piece) {
            m_dwReadError = transport::kInetInternalError;
            inside.failure = {FailureKind::OutOfMemory, 0, "no memory for the body"};
            reading = false;
        }
    }
    while (reading) {
        std::size_t received = 0;
        if (const transport::InetError error =
                request.Read(piece.get(), kStreamPieceSize, &received);
            error != transport::kInetOk) {
            m_dwReadError = error;
            inside.failure = request.LastFailure();
            break;
        }
        if (received == 0) {
            delivery.Finish();
            break;
        }
        reading = delivery.Feed(piece.get(), received);
    }
    switch (delivery.Stopped()) {
        case BodyDelivery::Stop::None:
            break;
        case BodyDelivery::Stop::Undecodable:
            inside.streamUndecodable = true;
            inside.failure = delivery.LastFailure();
            break;
        case BodyDelivery::Stop::OverLimit:
            // Passed while decoding, the limit is the decoding's failure, as for a whole body.
            if (delivery.Decoding()) {
                inside.streamUndecodable = true;
            } else {
                m_dwReadError = transport::kInetBodyOverLimit;
            }
            inside.failure = delivery.LastFailure();
            break;
        case BodyDelivery::Stop::Cancelled:
            m_dwReadError = transport::kInetCancelled;
            inside.failure = delivery.LastFailure();
            break;
    }
    if (inside.failure.kind == FailureKind::BodyLimit) {
        LogChannel()(log::CPXLog::LVL_ERROR)
            .Write(http::kBodyOverLimitRecord, static_cast<long long>(limit), urlPath);
    }
    if (m_dwReadError != 0) {
        LogChannel()(log::CPXLog::LVL_ERROR)
            .Write(kReadError, static_cast<int>(m_dwReadError), urlPath);
        LogChannel()(log::CPXLog::LVL_ERROR).Write(kErrorDetail, inside.failure.words.c_str());
    }
}

// Grows the buffer to exactly the length needed whenever the bytes do not fit; a failed
// growth leaves it as it was.
int CRVHttpFetcher::SaveData(BYTE* data, unsigned int length) {
    if (data == nullptr || length == 0 || IsInit() == 0) {
        return 0;
    }
    buffers::BodyStore& body = m_pInternals->body;
    if (std::uint64_t{body.Size()} + length >
        static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        return 0;  // the size is a 32-bit count
    }
    const bool saved = body.Reserve(length) && body.Append(data, length);
    ShowBuffer();
    return saved ? 1 : 0;
}

void CRVHttpFetcher::ParseHeader(char* line) {
    if (line != nullptr) {
        http::RecordHeaderLine(line, m_arrRespHeaders);
    }
}

}  // namespace RVUtil

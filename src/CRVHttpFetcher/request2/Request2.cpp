// The streaming request: a self-contained exchange over a session opened for the call,
// reporting failures by exception instead of by result.
#include <memory>
#include <new>
#include <stdexcept>

#include "CRVHttpFetcher/FetcherInternals.h"
#include "CRVHttpFetcher/RequestSetup.h"
#include "CRVHttpFetcher/request2/ResponseHeaderMap.h"
#include "RVUtil/BodyLimit.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "http/BodyLimitRecord.h"
#include "http/PairArray.h"
#include "log/PXLog.h"
#include "transport/Request.h"
#include "transport/Session.h"

namespace RVUtil {
namespace {

// The text of each failure, naming the step that failed. Fixed texts: hosts match on them
// (the numbers in them are part of the text, not places in this file), so they do not
// change.
constexpr const char* kSessionFailed = "CRVHttpFetcher\\request2(121): create session failed.";
constexpr const char* kConnectFailed = "CRVHttpFetcher\\request2(143): connect to server failed.";
constexpr const char* kOpenFailed = "CRVHttpFetcher\\request2(161): open request failed.";
constexpr const char* kSendFailed = "CRVHttpFetcher\\request2(172): send request failed.";
constexpr const char* kStatusFailed = "CRVHttpFetcher\\request2(179): cannot get http status code.";
constexpr const char* kReadFailed =
    "CRVHttpFetcher\\request2(240): read data from internet failed.";

// True when the exchange's request went out whole; false for a URL refused (a null URL like
// one that does not crack). Raises the failed step of any other exchange.
bool RequestSent(const inet::OpenedExchange& exchange) {
    switch (exchange.reached) {
        case inet::ExchangeStep::Url:
            return false;
        case inet::ExchangeStep::Connect:
            throw std::runtime_error(kConnectFailed);
        case inet::ExchangeStep::Open:
            throw std::runtime_error(kOpenFailed);
        case inet::ExchangeStep::Send:
            throw std::runtime_error(kSendFailed);
        case inet::ExchangeStep::Sent:
            break;
    }
    return true;
}

// A length above the body limit fails as the allocation it would need, before anything is
// allocated. The limit is never above 2 GiB - 1, the most the signed 32-bit response size
// holds, so this also covers a negative length, which reads as a number near 4 GiB.
void RefuseOverLimit(std::uint32_t declared, const std::string& urlPath) {
    if (const long long limit = RVUtil_gfnGetBodyLimit(); declared > limit) {
        LogChannel()(log::CPXLog::LVL_ERROR)
            .Write(http::kBodyOverLimitRecord, limit, urlPath.c_str());
        throw std::bad_alloc();
    }
}

// The body is read straight into the store's block, reserved at exactly the declared length
// (advised for huge pages when large): held once, never copied. On any failure nothing of it
// is kept.
void ReadDeclaredBody(transport::Request& request, buffers::BodyStore& body,
                      std::uint32_t declared) {
    if (!body.Reserve(declared)) {
        throw std::bad_alloc();
    }
    struct DropOnFailure {
        buffers::BodyStore& body;
        bool kept = false;
        ~DropOnFailure() {
            if (!kept) {
                body.Release();
            }
        }
    } guard{body};
    std::size_t last = 0;
    do {
        if (request.Read(body.Tail(), body.Room(), &last) != transport::kInetOk) {
            throw std::runtime_error(kReadFailed);
        }
        body.Commit(last);
    } while (last > 0 && body.Room() > 0);
    // A body that ended before its declared length (possible only when the transport could
    // not frame it by that length) is a failed read, not a body padded with zeros.
    if (body.Room() > 0) {
        throw std::runtime_error(kReadFailed);
    }
    guard.kept = true;
}

}  // namespace

DWORD CRVHttpFetcher::Request2(const char* url, const char* userName, const char* password,
                               DWORD timeout, BYTE* postData, int postLength) {
    m_nHttpStatus = 0;
    m_dwReadError = 0;
    buffers::BodyStore& body = m_pInternals->body;
    body.Release();
    ShowBuffer();
    m_arrRespHeaders.RemoveAll();
    m_pInternals->notes.Clear();
    m_strRawHeaders.Empty();

    // Declared before the exchange, so that the request and connection close before the
    // session, whether the call returns or raises.
    transport::InetError error = transport::kInetOk;
    const std::unique_ptr<transport::Session> session = transport::Session::Open(&error);
    if (!session) {
        throw std::runtime_error(kSessionFailed);
    }

    // The declared length is read from the header block below, whatever the transport
    // would make of it.
    inet::ExchangeOrder order{url, userName, password, timeout, postData, postLength};
    order.readsOwnLength = true;
    const inet::OpenedExchange exchange = inet::OpenExchange(*session, order, m_arrReqHeaders);
    if (!RequestSent(exchange)) {
        return 0;
    }
    transport::Request* const request = exchange.request.get();
    m_strRawHeaders = CString(request->RawHeaders());

    // A sent request always has the three digits of its status line; the check stays for a
    // transport that might not.
    if (request->StatusText().empty()) {
        throw std::runtime_error(kStatusFailed);
    }
    m_nHttpStatus = request->StatusCode();
    if (m_nHttpStatus != 200) {
        return static_cast<DWORD>(m_nHttpStatus);
    }

    request2::ResponseHeaderMap headers;
    request2::AddFields(request->Head().View(), &headers);
    for (const auto& [name, value] : headers) {
        http::AppendPair(m_arrRespHeaders, CString(name), CString(value));
    }

    const std::uint32_t declared = request2::DeclaredContentLength(headers);
    if (declared == 0) {
        return static_cast<DWORD>(m_nHttpStatus);
    }
    RefuseOverLimit(declared, exchange.target.path);
    ReadDeclaredBody(*request, body, declared);
    ShowBuffer();
    return static_cast<DWORD>(m_nHttpStatus);
}

}  // namespace RVUtil

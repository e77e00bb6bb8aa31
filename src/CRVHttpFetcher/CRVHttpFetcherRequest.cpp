#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <string>

#include "CRVHttpFetcher/FetcherInternals.h"
#include "CRVHttpFetcher/FetcherLimits.h"
#include "CRVHttpFetcher/RequestSetup.h"
#include "RVUtil/BodyLimit.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "http/BodyLimitRecord.h"
#include "http/HeaderLines.h"
#include "log/PXLog.h"
#include "transport/InetRequest.h"
#include "transport/InetSession.h"

namespace RVUtil {
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
    if (IsSessionReady(1) == 0 || IsDataBufferReady() == 0) {
        return 0;
    }
    m_nHttpStatus = 0;
    m_dwReadError = 0;
    m_strRawHeaders.Empty();
    ExchangeOrder order{url, userName, password, timeout, postData, postLength};
    if (!postForm) {
        order.postLength = 0;
    }
    OpenedExchange exchange = OpenExchange(*m_hSession, order, m_arrReqHeaders);
    if (exchange.reached < ExchangeStep::Send) {
        return static_cast<DWORD>(m_nHttpStatus);
    }
    const char* urlPath = exchange.target.path.c_str();
    transport::Request& request = *exchange.request;
    if (const transport::InetError sent = exchange.sent; sent != transport::kInetOk) {
        LogChannel()(CPXLog::LVL_ERROR)
            .Write(postForm ? kPostSendError : kSendError, static_cast<int>(sent), urlPath);
        // A body that cannot exist never reached the transport, which has no words for it.
        const bool ownRefusal =
            sent == transport::kInetInvalidParameter && request.ErrorDetail().empty();
        LogChannel()(CPXLog::LVL_ERROR)
            .Write(kErrorDetail, ownRefusal ? kNoPostBody : request.ErrorDetail().c_str());
        // The next request opens a new session. The request and the connection still close
        // after it; they keep what they use alive until then.
        CloseSession();
        return static_cast<DWORD>(m_nHttpStatus);
    }

    m_strRawHeaders = CString(request.RawHeaders());
    if (!request.StatusText().empty()) {
        const int code = request.StatusCode();
        if (postForm) {
            if (code != 200) {
                return static_cast<DWORD>(m_nHttpStatus);
            }
            m_nHttpStatus = code;
        } else {
            if (code != 200) {
                LogChannel()(CPXLog::LVL_ERROR).Write(kStatusError, code, urlPath);
            }
            m_nHttpStatus = code;
            if (code != 200) {
                return static_cast<DWORD>(code);
            }
        }
    }
    http::RecordHeaderLines(request.RawHeaders(), m_arrRespHeaders);
    ReadBody(request, urlPath);
    return static_cast<DWORD>(m_nHttpStatus);
}

// Appends the body to the buffer, reading straight into its block: a body of a declared
// length into one block of exactly that length, reserved before the first byte; one without
// a length into a block that grows as it comes. A body that fails part way keeps what
// arrived; the failure is logged and remembered for IsResponseComplete. The buffer never
// grows past the body limit: a declared length beyond it fails before anything is read.
void CRVHttpFetcher::ReadBody(transport::Request& request, const char* urlPath) {
    const long long limit = RVUtil_gfnGetBodyLimit();
    BodyStore& body = m_pInternals->body;
    // Room left under the limit; a body appended to an earlier one shares it.
    const auto room = [&] {
        return static_cast<std::size_t>(std::max(0LL, limit - static_cast<long long>(body.Size())));
    };
    std::string detail;
    const auto fail = [&](DWORD error, std::string words) {
        m_dwReadError = error;
        detail = std::move(words);
    };
    const auto overLimit = [&] {
        LogChannel()(CPXLog::LVL_ERROR).Write(http::kBodyOverLimitRecord, limit, urlPath);
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
        LogChannel()(CPXLog::LVL_ERROR).Write(kReadError, static_cast<int>(m_dwReadError), urlPath);
        LogChannel()(CPXLog::LVL_ERROR).Write(kErrorDetail, detail.c_str());
    }
}

// Grows the buffer to exactly the length needed whenever the bytes do not fit; a failed
// growth leaves it as it was.
int CRVHttpFetcher::SaveData(BYTE* data, unsigned int length) {
    if (data == nullptr || length == 0 || IsInit() == 0) {
        return 0;
    }
    BodyStore& body = m_pInternals->body;
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

// The streaming request: a self-contained exchange over a session opened for the call,
// reporting failures by exception instead of by result.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "CRVHttpFetcher/RequestSetup.h"
#include "CRVHttpFetcher/request2/DeclaredLength.h"
#include "CRVHttpFetcher/request2/HeaderBlockQuery.h"
#include "CRVHttpFetcher/request2/ResponseHeaderMap.h"
#include "RVUtil/BodyLimit.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "buffers/LargeBuffer.h"
#include "http/BodyLimitRecord.h"
#include "transport/InetRequest.h"
#include "transport/InetSession.h"

namespace RVUtil {
namespace {

// The text of each failure, naming the step that failed.
constexpr const char* kSessionFailed = "CRVHttpFetcher\\request2(121): create session failed.";
constexpr const char* kConnectFailed = "CRVHttpFetcher\\request2(143): connect to server failed.";
constexpr const char* kOpenFailed = "CRVHttpFetcher\\request2(161): open request failed.";
constexpr const char* kSendFailed = "CRVHttpFetcher\\request2(172): send request failed.";
constexpr const char* kStatusFailed = "CRVHttpFetcher\\request2(179): cannot get http status code.";
constexpr const char* kReadFailed =
    "CRVHttpFetcher\\request2(240): read data from internet failed.";
constexpr const char* kCopyFailed =
    "CRVHttpFetcher\\request2(247): allocate failed, no available memory.";

struct FreeDeleter {
    void operator()(BYTE* p) const { std::free(p); }
};
using HeapBytes = std::unique_ptr<BYTE, FreeDeleter>;

// A connection or request that cannot be set up for want of memory counts as one that was
// not obtained, so that the caller learns which step failed.
std::unique_ptr<transport::Connection> openConnection(transport::Session& session, const char* host,
                                                      unsigned short port, const char* userName,
                                                      const char* password) {
    try {
        return transport::Connection::Open(session, host, port, userName, password);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<transport::Request> openRequest(transport::Connection& connection, bool post,
                                                const RequestUrl& target) {
    try {
        return transport::Request::Open(connection, post ? "POST" : "GET", target.path,
                                        RequestFlagsFor(target));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

DWORD CRVHttpFetcher::Request2(const char* url, const char* userName, const char* password,
                               DWORD timeout, BYTE* postData, int postLength) {
    m_nHttpStatus = 0;
    m_dwReadError = 0;
    std::free(m_pBuffer);
    m_pBuffer = nullptr;
    m_nCapacity = 0;
    m_nSize = 0;
    m_arrRespHeaders.RemoveAll();
    m_strRawHeaders.Empty();

    // Declared in the order they open, so that they close in the reverse order: request,
    // connection, session, whether the call returns or raises.
    transport::InetError error = transport::kInetOk;
    const std::unique_ptr<transport::Session> session = transport::Session::Open(&error);
    if (!session) {
        throw std::runtime_error(kSessionFailed);
    }

    // A null URL is no URL at all: refused like one that does not crack.
    RequestUrl target;
    if (!CrackRequestUrl(url, &target)) {
        return 0;
    }

    const std::unique_ptr<transport::Connection> connection =
        openConnection(*session, target.host.c_str(), target.port, userName, password);
    if (!connection) {
        throw std::runtime_error(kConnectFailed);
    }
    if (timeout != 0) {
        connection->SetConnectTimeout(timeout);
        connection->SetReceiveTimeout(timeout);
    }
    // The transport never retries a connect, so no retry count needs setting.
    const bool post = postLength != 0;
    const std::unique_ptr<transport::Request> request = openRequest(*connection, post, target);
    if (!request) {
        throw std::runtime_error(kOpenFailed);
    }
    // The declared length is read from the header block below, whatever the transport
    // would make of it.
    request->IgnoreUnreadableLength();
    AddRequestHeaderLines(m_arrReqHeaders, *request);

    // A body that cannot exist (negative length, or data missing) fails the send before
    // anything goes out.
    transport::InetError sent = transport::kInetInvalidParameter;
    if (!post) {
        sent = request->Send(nullptr, 0);
    } else if (postLength > 0 && postData != nullptr) {
        sent = request->Send(postData, static_cast<std::size_t>(postLength));
    }
    if (sent != transport::kInetOk) {
        throw std::runtime_error(kSendFailed);
    }
    m_strRawHeaders = CString(request->RawHeaders());

    // A sent request always has the three digits of its status line; the check stays for a
    // transport that might not.
    if (request->StatusText().empty()) {
        throw std::runtime_error(kStatusFailed);
    }
    m_nHttpStatus = std::atoi(request->StatusText().c_str());
    if (m_nHttpStatus != 200) {
        return static_cast<DWORD>(m_nHttpStatus);
    }

    request2::ResponseHeaderMap headers;
    request2::WithRawHeaderBlock(
        [&](char* buffer, DWORD* length, DWORD* queryError) {
            return request2::QueryRawHeaders(*request, buffer, length, queryError);
        },
        [&](const char* text, DWORD length) {
            request2::ParseHeaderBlock(text, length, &headers);
        });
    for (const auto& [name, value] : headers) {
        m_arrRespHeaders.Add(CString(name));
        m_arrRespHeaders.Add(CString(value));
    }

    const std::uint32_t declared = request2::DeclaredContentLength(headers);
    if (declared == 0) {
        return static_cast<DWORD>(m_nHttpStatus);
    }
    // A length above the body limit fails as the allocation it would need, before anything
    // is allocated. The limit is never above 2 GiB - 1, the most the signed 32-bit response
    // size holds, so this also covers a negative length, which reads as a number near 4 GiB.
    if (const long long limit = RVUtil_gfnGetBodyLimit(); declared > limit) {
        http::LogBodyOverLimit(limit, target.path.c_str());
        throw std::bad_alloc();
    }

    // Zero-filled without writing a byte: fresh pages of a large block read as zeros, so
    // only the pages the body reaches are ever touched. Both large arrays are written once
    // from end to end, where huge pages save most of the page faults.
    const HeapBytes body(static_cast<BYTE*>(std::calloc(declared, 1)));
    if (!body) {
        throw std::bad_alloc();
    }
    AdviseLargeBuffer(body.get(), declared);
    std::size_t received = 0;
    std::size_t last = 0;
    if (request->Read(body.get(), declared, &last) != transport::kInetOk) {
        throw std::runtime_error(kReadFailed);
    }
    received += last;
    while (last > 0 && received < declared) {
        if (request->Read(body.get() + received, declared - received, &last) !=
            transport::kInetOk) {
            throw std::runtime_error(kReadFailed);
        }
        received += last;
    }
    // A body that ended before its declared length (possible only when the transport could
    // not frame it by that length) is a failed read, not a body padded with zeros.
    if (received < declared) {
        throw std::runtime_error(kReadFailed);
    }

    // The object's buffer comes from malloc, as SaveData grows it with realloc. It gets no
    // huge-page advice: advice on part of a block splits its mapping, and realloc would
    // then copy instead of remapping when a later Request grows it.
    HeapBytes kept(static_cast<BYTE*>(std::malloc(declared)));
    if (!kept) {
        throw std::runtime_error(kCopyFailed);
    }
    std::memcpy(kept.get(), body.get(), declared);
    std::free(m_pBuffer);
    m_pBuffer = kept.release();
    m_nCapacity = static_cast<std::int32_t>(declared);
    m_nSize = static_cast<std::int32_t>(declared);
    return static_cast<DWORD>(m_nHttpStatus);
}

}  // namespace RVUtil

// One exchange on a fresh transfer handle: GET and POST, the data callbacks, the header
// block's recorded lines, the response accessors and the decoding of the body.
#include <cxxabi.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "RVUtil/BodyLimit.h"
#include "curl/CCurlHttpFetcherImpl.h"
#include "curl/CurlFailure.h"
#include "curl/CurlLibrary.h"
#include "curl/CurlMultiTransfer.h"
#include "decoding/BodyLimitFor.h"
#include "decoding/ContentDecoding.h"
#include "decoding/DecompressAnswer.h"
#include "http/BodyLimitRecord.h"
#include "http/HeaderLines.h"
#include "http/HeaderPairs.h"
#include "log/PXLog.h"

namespace RVUtil {

using decoding::BodyDelivery;
using decoding::BodyLimitFor;
using decoding::ContentEncoding;
using decoding::EncodingOf;

namespace {

// Fixed texts: hosts and their log readers match on them, so they do not change.
constexpr const char* kSendError = "[Curl Send Error]ErrorCode=%d, HttpStatus=%d, Url=%s";
constexpr const char* kPostSendError = "[Curl Post Send Error]ErrorCode=%d, HttpStatus=%d, Url=%s";
// What libcurl receives into: 16 times its default.
constexpr long kReceiveBufferSize = 256L * 1024;
// libcurl's own words on a failure, after one of the two above.
constexpr const char* kErrorDetail = "[Curl Error Detail]%s";

struct TransferCleanup {
    void operator()(CURL* transfer) const { Curl().easy_cleanup(transfer); }
};

// Stands in for a null data pointer of an empty POST: libcurl would otherwise take a null
// field pointer as an order to read the body from its read callback (standard input).
BYTE s_emptyPostBody[1] = {0};

}  // namespace

DWORD CCurlHttpFetcherImpl::Request(const char* url, const char* user, const char* password,
                                    DWORD timeout) {
    return Execute(url, user, password, timeout, nullptr);
}

DWORD CCurlHttpFetcherImpl::Request(const char* url, const char* user, const char* password,
                                    DWORD timeout, BYTE* data, int length) {
    const PostBody post{data, length};
    return Execute(url, user, password, timeout, &post);
}

DWORD CCurlHttpFetcherImpl::Execute(const char* url, const char* user, const char* password,
                                    DWORD timeout, const PostBody* post) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return 0;
    }
    m_lastUrl = url != nullptr ? url : "";
    // Read once, so that the transfer and its log record name the same limit.
    const auto bodyLimit = static_cast<long long>(BodyLimitFor(m_call));
    std::unique_ptr<CURL, TransferCleanup> transfer;
    try {
        ResetResponse();
        if (user != nullptr && password != nullptr) {
            // On the configured handle, so that later requests keep the credentials.
            const std::string credentials = std::string(user) + ":" + password;
            Curl().easy_setopt(m_curl, CURLOPT_USERPWD, credentials.c_str());
        }
        // A negative length, or bytes promised behind a null pointer, would have libcurl
        // measure the data as text or read it from elsewhere: refused without a transfer,
        // reported like a rejected option.
        if (post != nullptr && (post->length < 0 || (post->data == nullptr && post->length > 0))) {
            m_lastCode = CURLE_BAD_FUNCTION_ARGUMENT;
            return FailTransfer(url, post, bodyLimit);
        }
        transfer.reset(StartTransfer(url, timeout, post, bodyLimit));
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        m_lastCode = CURLE_OUT_OF_MEMORY;
    }
    if (!transfer) {
        return FailTransfer(url, post, bodyLimit);
    }

    m_lastCode = PerformOnMulti(m_multi, transfer.get());
    if (Curl().easy_getinfo(transfer.get(), CURLINFO_RESPONSE_CODE, &m_httpStatus) != CURLE_OK) {
        m_httpStatus = 0;
    }
    long requestBytes = 0;
    if (Curl().easy_getinfo(transfer.get(), CURLINFO_REQUEST_SIZE, &requestBytes) != CURLE_OK) {
        requestBytes = 0;
    }
    if (m_lastCode == CURLE_OK && !m_headReader.Complete()) {
        // libcurl takes a head that the connection's end cut short for a whole one.
        m_lastCode = CURLE_WEIRD_SERVER_REPLY;
        m_headReader.Refuse("the connection closed inside the response head");
    }
    if (m_lastCode == CURLE_OK) {
        m_bodyReceiver.Complete();
    }
    transfer.reset();
    if (m_callHeaderList != nullptr) {
        Curl().slist_free_all(m_callHeaderList);
        m_callHeaderList = nullptr;
    }
    if (m_delivery != nullptr && EndedByDelivery()) {
        // A streamed body that was not to be delivered, or did not decode, ends a complete
        // exchange: the status, the verdict or the decoding tells what failed.
        m_lastCode = CURLE_OK;
        if (m_delivery->Stopped() != BodyDelivery::Stop::None) {
            m_streamUndecodable = true;
            m_failure = m_delivery->LastFailure();
            if (m_failure.kind == FailureKind::BodyLimit) {
                LogChannel()(CPXLog::LVL_ERROR)
                    .Write(http::kBodyOverLimitRecord, bodyLimit, url != nullptr ? url : "");
            }
        }
    }
    if (m_lastCode == CURLE_OK && m_delivery == nullptr && !DecodeGzipBody(bodyLimit)) {
        return FailTransfer(url, post, bodyLimit, requestBytes > 0);
    }
    if (m_lastCode != CURLE_OK) {
        return FailTransfer(url, post, bodyLimit, requestBytes > 0);
    }
    try {
        http::RecordHeaderLines(m_rawHeaders.Text(), m_responseHeaders);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        // The lines recorded so far stay; the caller learns of the failure by the result.
        m_lastCode = CURLE_OUT_OF_MEMORY;
        return FailTransfer(url, post, bodyLimit);
    }
    return 1;
}

CURL* CCurlHttpFetcherImpl::StartTransfer(const char* url, DWORD timeout, const PostBody* post,
                                          long long bodyLimit) {
    if (m_curl == nullptr) {
        m_lastCode = CURLE_BAD_FUNCTION_ARGUMENT;  // never initialised
        return nullptr;
    }
    CURL* transfer = Curl().easy_duphandle(m_curl);
    if (transfer == nullptr) {
        m_lastCode = CURLE_OUT_OF_MEMORY;
        return nullptr;
    }
    // A copy leaves the share object behind; it is named again for every transfer.
    Curl().easy_setopt(transfer, CURLOPT_SHARE, m_share);
    // libcurl decodes nothing: a gzip body the caller asked for with Accept-Encoding is
    // decoded whole after the transfer (DecodeGzipBody), as the own fetcher's Decompress
    // decodes it.
    Curl().easy_setopt(transfer, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    Curl().easy_setopt(transfer, CURLOPT_ERRORBUFFER, m_errorText);
    Curl().easy_setopt(transfer, CURLOPT_URL, url);
    Curl().easy_setopt(transfer, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout));
    m_transferTimeout = timeout;
    // Large bodies arrive in fewer, larger pieces: fewer receive calls and callbacks.
    Curl().easy_setopt(transfer, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    // A time-out while the name is resolved ends the transfer without waiting for the
    // resolver's thread, which otherwise holds the caller until the system resolver answers,
    // however long that is. The thread frees what it holds when it ends.
    Curl().easy_setopt(transfer, CURLOPT_QUICK_EXIT, 1L);
    if (m_call != nullptr && !ApplyCall(transfer, static_cast<std::uint64_t>(bodyLimit))) {
        Curl().easy_cleanup(transfer);
        m_lastCode = CURLE_OUT_OF_MEMORY;
        return nullptr;
    }
    // A declared length above the limit fails before any of the body is stored; a body
    // without one is stopped by the receiver when it reaches the limit. A streamed body's
    // limit counts what is delivered, decoded, so the delivery keeps it.
    if (m_delivery == nullptr) {
        Curl().easy_setopt(transfer, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(bodyLimit));
    }
    m_bodyReceiver.Start(transfer, static_cast<std::uint64_t>(bodyLimit), m_delivery.get());
    if (post != nullptr) {
        // A POST never goes out on a kept-alive connection: libcurl sends a request again
        // on a fresh connection when a reused one dies before any answer, and a server
        // that read a POST and then closed may already have acted on it. On a connection of
        // its own the POST goes out once, and fails if no answer comes.
        Curl().easy_setopt(transfer, CURLOPT_FRESH_CONNECT, 1L);
        // These belong to this transfer alone: the next GET is a GET again, reads no data
        // of this one and verifies its peer.
        BYTE* fields = post->data != nullptr ? post->data : s_emptyPostBody;
        Curl().easy_setopt(transfer, CURLOPT_POST, 1L);
        Curl().easy_setopt(transfer, CURLOPT_POSTFIELDS, fields);
        Curl().easy_setopt(transfer, CURLOPT_POSTFIELDSIZE, static_cast<long>(post->length));
        if (m_call == nullptr) {
            Curl().easy_setopt(transfer, CURLOPT_SSL_VERIFYPEER, 0L);
        }
    }
    return transfer;
}

DWORD CCurlHttpFetcherImpl::FailTransfer(const char* url, const PostBody* post, long long bodyLimit,
                                         bool requestSent) {
    const char* shownUrl = url != nullptr ? url : "";
    TransferFacts facts;
    facts.code = m_lastCode;
    facts.libcurlWords = m_errorText;
    facts.requestSent = requestSent;
    facts.bodyOverLimit = m_lastCode == CURLE_WRITE_ERROR && m_bodyReceiver.OverLimit();
    facts.bodyLimit = bodyLimit;
    facts.headRefusal = m_headReader.Refusal();
    if (m_delivery != nullptr) {
        facts.delivery = m_delivery->LastFailure();
    } else if (m_decodeFailure) {
        facts.delivery = m_decodeFailure;
    }
    m_failure = FailureOfTransfer(facts);
    // A head the fetcher refused ended the transfer through the header callback; the record
    // names the fetcher's reason, not libcurl's word for a refused callback.
    if (!facts.headRefusal.empty()) {
        m_lastCode = static_cast<CURLcode>(m_failure.code);
    }
    LogChannel()(CPXLog::LVL_ERROR)
        .Write(post != nullptr ? kPostSendError : kSendError, static_cast<int>(m_lastCode),
               static_cast<int>(m_httpStatus), shownUrl);
    LogChannel()(CPXLog::LVL_ERROR).Write(kErrorDetail, m_failure.words.c_str());
    if (m_failure.kind == FailureKind::BodyLimit) {
        LogChannel()(CPXLog::LVL_ERROR).Write(http::kBodyOverLimitRecord, bodyLimit, shownUrl);
    }
    return 0;
}

// A growth that cannot be made must not travel through libcurl: the store reports it
// without throwing, and refusing the bytes ends the transfer with CURLE_WRITE_ERROR, so
// Request returns 0.
std::size_t CCurlHttpFetcherImpl::OnWriteBody(char* data, std::size_t size, std::size_t count,
                                              void* user) {
    if (user == nullptr) {
        return 0;  // CURLE_WRITE_ERROR
    }
    const std::size_t bytes = size * count;
    return static_cast<CurlBodyReceiver*>(user)->OnData(data, bytes) ? bytes : 0;
}

std::size_t CCurlHttpFetcherImpl::OnWriteHeader(char* data, std::size_t size, std::size_t count,
                                                void* user) {
    if (user == nullptr) {
        return 0;  // CURLE_WRITE_ERROR
    }
    const std::size_t bytes = size * count;
    auto* impl = static_cast<CCurlHttpFetcherImpl*>(user);
    if (!impl->m_headReader.OnLine(std::string_view(data, bytes))) {
        return 0;
    }
    // A streaming fetch's head receiver is told as soon as the final head is whole, not at
    // the first body byte, which may come much later or never.
    return !impl->m_headReader.Complete() || impl->m_bodyReceiver.OnHeadComplete() ? bytes : 0;
}

void CCurlHttpFetcherImpl::ResetResponse() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return;
    }
    m_body.Clear();
    m_headReader.Start();
    m_httpStatus = 0;
    m_errorText[0] = '\0';
    m_failure = Failure();
    m_delivery.reset();
    m_streamUndecodable = false;
    m_decodeFailure = Failure();
    m_requestHead.clear();
}

BYTE* CCurlHttpFetcherImpl::GetResponse() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed || m_body.Size() == 0) {
        return nullptr;
    }
    return m_body.Data();
}

void CCurlHttpFetcherImpl::SetCall(const http::CallSettings* call) {
    CSingleLock lock(&m_lock, TRUE);
    m_call = call;
}

bool CCurlHttpFetcherImpl::ApplyCall(CURL* transfer, std::uint64_t bodyLimit) {
    const FetchOptions& options = m_call->options;
    if (!options.headers.empty() || !options.removedHeaders.empty()) {
        std::vector<bool> fromFetch;
        CStringArray pairs = http::MergeFetchHeaders(m_requestHeaders, options.headers,
                                                     options.removedHeaders, &fromFetch);
        // "Name:" leaves out a header libcurl would send itself (its Accept).
        for (const std::string& name : options.removedHeaders) {
            http::AppendPair(pairs, CString(name), CString());
            fromFetch.push_back(false);
        }
        if (!BuildHeaderList(pairs, fromFetch, &m_callHeaderList)) {
            return false;
        }
        Curl().easy_setopt(transfer, CURLOPT_HTTPHEADER, m_callHeaderList);
    }
    if (options.connectTimeout.count() > 0) {
        Curl().easy_setopt(transfer, CURLOPT_CONNECTTIMEOUT_MS,
                           static_cast<long>(http::MillisecondsOf(options.connectTimeout)));
    }
    if (options.method == FetchMethod::Head) {
        Curl().easy_setopt(transfer, CURLOPT_NOBODY, 1L);
    }
    if (options.credentials.has_value()) {
        Curl().easy_setopt(transfer, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        Curl().easy_setopt(transfer, CURLOPT_USERNAME, options.credentials->first.c_str());
        Curl().easy_setopt(transfer, CURLOPT_PASSWORD, options.credentials->second.c_str());
    }
    if (options.proxy.has_value()) {
        // An empty proxy sends the request straight to the server.
        Curl().easy_setopt(transfer, CURLOPT_PROXY, options.proxy->c_str());
    }
    if (options.proxy.has_value() || !options.noProxy.empty()) {
        Curl().easy_setopt(transfer, CURLOPT_NOPROXY, options.noProxy.c_str());
    }
    const auto timeout = std::chrono::milliseconds(m_transferTimeout);
    if (options.maxTime.count() > 0 && (timeout.count() == 0 || options.maxTime < timeout)) {
        Curl().easy_setopt(transfer, CURLOPT_TIMEOUT_MS,
                           static_cast<long>(http::MillisecondsOf(options.maxTime)));
    }
    if (!options.caFile.empty()) {
        Curl().easy_setopt(transfer, CURLOPT_CAINFO, options.caFile.c_str());
    }
    if (!options.caPath.empty()) {
        Curl().easy_setopt(transfer, CURLOPT_CAPATH, options.caPath.c_str());
    }
    // A fetch checks its TLS peer, a POST too, unless it asks not to.
    Curl().easy_setopt(transfer, CURLOPT_SSL_VERIFYPEER, options.verifyPeer ? 1L : 0L);
    Curl().easy_setopt(transfer, CURLOPT_SSL_VERIFYHOST, options.verifyPeer ? 2L : 0L);
    if (options.keepRequestHead) {
        Curl().easy_setopt(transfer, CURLOPT_DEBUGFUNCTION, &CCurlHttpFetcherImpl::OnDebug);
        Curl().easy_setopt(transfer, CURLOPT_DEBUGDATA, &m_requestHead);
        Curl().easy_setopt(transfer, CURLOPT_VERBOSE, 1L);
    }
    // A body streamed is decoded on its way by the delivery (gzip and zstd, as the own
    // fetcher decodes them).
    if (m_call->sink != nullptr) {
        m_delivery = std::make_unique<BodyDelivery>(*m_call->sink, options, bodyLimit);
    }
    return true;
}

int CCurlHttpFetcherImpl::OnDebug(CURL*, curl_infotype type, char* data, std::size_t size,
                                  void* user) {
    // A request sent again on a fresh connection brings its head again: the last one is kept.
    if (type == CURLINFO_HEADER_OUT && user != nullptr) {
        try {
            static_cast<std::string*>(user)->assign(data, size);
        } catch (...) {
            // A head that cannot be kept for lack of memory is left out; the request goes on.
        }
    }
    return 0;
}

bool CCurlHttpFetcherImpl::DecodeGzipBody(long long bodyLimit) {
    const bool decodedAsSent = m_call != nullptr && !m_call->options.decode;
    if (!m_curlDecodesGzip || decodedAsSent ||
        EncodingOf(http::FindRecordedValue(m_rawHeaders.Text(), "Content-Encoding").value_or("")) !=
            ContentEncoding::Gzip) {
        return true;
    }
    decoding::DecodedBody decoded = decoding::DecodeBody(ContentEncoding::Gzip, m_body.Bytes(),
                                                         static_cast<std::size_t>(bodyLimit));
    if (!decoded.failure) {
        m_body.Adopt(std::move(decoded.data), decoded.size);
        return true;
    }
    // What libcurl answered when it decoded: a body over the limit as the array refusing its
    // bytes, another failure as a content encoding it could not read.
    const FailureKind kind = decoded.failure.kind;
    m_lastCode = kind == FailureKind::BodyLimit     ? CURLE_WRITE_ERROR
                 : kind == FailureKind::OutOfMemory ? CURLE_OUT_OF_MEMORY
                                                    : CURLE_BAD_CONTENT_ENCODING;
    m_decodeFailure = std::move(decoded.failure);
    return false;
}

bool CCurlHttpFetcherImpl::EndedByDelivery() const {
    if (m_bodyReceiver.Skipped()) {
        return true;
    }
    const BodyDelivery::Stop stop = m_delivery->Stopped();
    return stop == BodyDelivery::Stop::Undecodable ||
           (stop == BodyDelivery::Stop::OverLimit && m_delivery->Decoding());
}

BYTE* CCurlHttpFetcherImpl::TakeBody() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return nullptr;
    }
    return m_body.TakeArray();
}

long CCurlHttpFetcherImpl::GetResponseSize() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return 0;
    }
    return static_cast<long>(m_body.Size());
}

int CCurlHttpFetcherImpl::GetResponseHttpStatus() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return 404;
    }
    return static_cast<int>(m_httpStatus);
}

CString CCurlHttpFetcherImpl::GetRawResponseHeaders() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return CString();
    }
    return CString(m_rawHeaders.Text());
}

void CCurlHttpFetcherImpl::EndRequest() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return;
    }
    m_responseHeaders.SetSize(0);
}

BOOL CCurlHttpFetcherImpl::IsEncoding() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return FALSE;
    }
    // A fetch that streamed its body, or asked for it as sent, has nothing left to decode,
    // unless its body did not decode on the way: that is reported as for a whole body.
    if (m_call != nullptr && (m_call->sink != nullptr || !m_call->options.decode)) {
        return m_streamUndecodable;
    }
    // With the flag set the fetcher has already decoded a gzip body; a zstd body always
    // waits for Decompress.
    switch (EncodingOf(FindHeader("Content-Encoding").str())) {
        case ContentEncoding::Zstd:
            return TRUE;
        case ContentEncoding::Gzip:
            return m_curlDecodesGzip ? FALSE : TRUE;
        case ContentEncoding::None:
            break;
    }
    return FALSE;
}

long CCurlHttpFetcherImpl::Decompress(BYTE** out) {
    // No closed test: a closed fetcher has no Content-Encoding, which decodes to nothing.
    CSingleLock lock(&m_lock, TRUE);
    if (m_call != nullptr && (m_call->sink != nullptr || !m_call->options.decode)) {
        return 0;  // the failure of the decoding on the way is already recorded
    }
    const ContentEncoding kind = EncodingOf(FindHeader("Content-Encoding").str());
    const std::uint64_t limit = BodyLimitFor(m_call);
    decoding::DecompressAnswer answer =
        decoding::AnswerDecompress(kind, m_body.Bytes(), limit, out);
    if (answer.failure) {
        m_failure = std::move(answer.failure);
        if (m_failure.kind == FailureKind::BodyLimit) {
            LogChannel()(CPXLog::LVL_ERROR)
                .Write(http::kBodyOverLimitRecord, static_cast<long long>(limit),
                       m_lastUrl.c_str());
        }
    }
    return answer.result;
}

}  // namespace RVUtil

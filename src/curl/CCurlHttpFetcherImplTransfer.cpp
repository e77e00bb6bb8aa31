// One exchange on a fresh transfer handle, GET or POST: its run on the multi handle, how it
// ended (a streamed body's delivery, the gzip body, the recorded header lines) and the
// records of a failure.
#include <cxxabi.h>

#include <memory>
#include <string>

#include "curl/CCurlHttpFetcherImpl.h"
#include "curl/CurlFailure.h"
#include "curl/CurlLibrary.h"
#include "curl/CurlMultiTransfer.h"
#include "decoding/BodyLimitFor.h"
#include "http/BodyLimitRecord.h"
#include "http/HeaderPairs.h"
#include "http/ParsedHead.h"
#include "log/PXLog.h"

namespace RVUtil::curl {

using decoding::BodyDelivery;
using decoding::BodyLimitFor;

namespace {

// Fixed texts: hosts and their log readers match on them, so they do not change.
constexpr const char* kSendError = "[Curl Send Error]ErrorCode=%d, HttpStatus=%d, Url=%s";
constexpr const char* kPostSendError = "[Curl Post Send Error]ErrorCode=%d, HttpStatus=%d, Url=%s";
// libcurl's own words on a failure, after one of the two above.
constexpr const char* kErrorDetail = "[Curl Error Detail]%s";

struct TransferCleanup {
    void operator()(CURL* transfer) const { Curl().easy_cleanup(transfer); }
};

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
    const bool requestSent = RunTransfer(transfer.get());
    transfer.reset();
    return EndTransfer(url, post, bodyLimit, requestSent);
}

bool CCurlHttpFetcherImpl::RunTransfer(CURL* transfer) {
    m_lastCode = PerformOnMulti(m_multi, transfer);
    if (Curl().easy_getinfo(transfer, CURLINFO_RESPONSE_CODE, &m_httpStatus) != CURLE_OK) {
        m_httpStatus = 0;
    }
    long requestBytes = 0;
    if (Curl().easy_getinfo(transfer, CURLINFO_REQUEST_SIZE, &requestBytes) != CURLE_OK) {
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
    return requestBytes > 0;
}

DWORD CCurlHttpFetcherImpl::EndTransfer(const char* url, const PostBody* post, long long bodyLimit,
                                        bool requestSent) {
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
                LogChannel()(log::CPXLog::LVL_ERROR)
                    .Write(http::kBodyOverLimitRecord, bodyLimit, url != nullptr ? url : "");
            }
        }
    }
    if (m_lastCode == CURLE_OK && m_delivery == nullptr && !DecodeGzipBody(bodyLimit)) {
        return FailTransfer(url, post, bodyLimit, requestSent);
    }
    if (m_lastCode != CURLE_OK) {
        return FailTransfer(url, post, bodyLimit, requestSent);
    }
    try {
        http::RecordFields(http::HeadView(m_rawHeaders.Text(), m_headIndex), m_responseHeaders);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        // The lines recorded so far stay; the caller learns of the failure by the result.
        m_lastCode = CURLE_OUT_OF_MEMORY;
        return FailTransfer(url, post, bodyLimit);
    }
    return 1;
}

bool CCurlHttpFetcherImpl::EndedByDelivery() const {
    if (m_bodyReceiver.Skipped()) {
        return true;
    }
    const BodyDelivery::Stop stop = m_delivery->Stopped();
    return stop == BodyDelivery::Stop::Undecodable ||
           (stop == BodyDelivery::Stop::OverLimit && m_delivery->Decoding());
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
    LogChannel()(log::CPXLog::LVL_ERROR)
        .Write(post != nullptr ? kPostSendError : kSendError, static_cast<int>(m_lastCode),
               static_cast<int>(m_httpStatus), shownUrl);
    LogChannel()(log::CPXLog::LVL_ERROR).Write(kErrorDetail, m_failure.words.c_str());
    if (m_failure.kind == FailureKind::BodyLimit) {
        LogChannel()(log::CPXLog::LVL_ERROR).Write(http::kBodyOverLimitRecord, bodyLimit, shownUrl);
    }
    return 0;
}

}  // namespace RVUtil::curl

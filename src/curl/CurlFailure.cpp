#include "curl/CurlFailure.h"

#include "curl/CurlLibrary.h"

namespace RVUtil::curl {

namespace {

FailureKind KindOf(CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return FailureKind::None;
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return FailureKind::RefusedUrl;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
            return FailureKind::NameResolution;
        case CURLE_COULDNT_CONNECT:
            return FailureKind::Connect;
        case CURLE_OPERATION_TIMEDOUT:
            return FailureKind::Timeout;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return FailureKind::Tls;
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
            return FailureKind::ConnectionClosed;
        case CURLE_PARTIAL_FILE:
            return FailureKind::BodyCutShort;
        case CURLE_FILESIZE_EXCEEDED:
            return FailureKind::BodyLimit;
        case CURLE_BAD_CONTENT_ENCODING:
            return FailureKind::Decoding;
        case CURLE_ABORTED_BY_CALLBACK:
            return FailureKind::Cancelled;
        case CURLE_OUT_OF_MEMORY:
        case CURLE_WRITE_ERROR:  // refused bytes: an array that could not grow
            return FailureKind::OutOfMemory;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_HTTP3:
            return FailureKind::Protocol;
        default:
            return FailureKind::Internal;
    }
}

}  // namespace

Failure FailureOfTransfer(const TransferFacts& facts) {
    Failure failure;
    failure.code = facts.code;
    failure.kind = KindOf(facts.code);
    failure.words = facts.libcurlWords != nullptr && facts.libcurlWords[0] != '\0'
                        ? facts.libcurlWords
                        : Curl().easy_strerror(facts.code);
    if (facts.delivery) {
        failure = facts.delivery;
        return failure;
    }
    if (!facts.headRefusal.empty()) {
        failure.kind = FailureKind::Protocol;
        failure.code = CURLE_WEIRD_SERVER_REPLY;
        failure.words = facts.headRefusal;
    } else if (facts.bodyOverLimit) {
        failure.kind = FailureKind::BodyLimit;
    }
    if (failure.kind == FailureKind::BodyLimit) {
        failure.words =
            "the body passed the limit of " + std::to_string(facts.bodyLimit) + " bytes";
    } else if (failure.kind == FailureKind::ConnectionClosed && facts.requestSent) {
        failure.words = "the connection closed after the request was sent (" + failure.words + ")";
    }
    return failure;
}

}  // namespace RVUtil::curl

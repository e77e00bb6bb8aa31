// The transfer handle of one request: what it takes over from the configured handle, the
// options of a POST, and a fetch's own settings.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "curl/CCurlHttpFetcherImpl.h"
#include "curl/CurlLibrary.h"
#include "http/HeaderPairs.h"

namespace RVUtil::curl {

using decoding::BodyDelivery;

namespace {

// What libcurl receives into: 100 KiB, as the curl tool asks for.
constexpr long kReceiveBufferSize = 100L * 1024;

// Stands in for a null data pointer of an empty POST: libcurl would otherwise take a null
// field pointer as an order to read the body from its read callback (standard input).
BYTE s_emptyPostBody[1] = {0};

}  // namespace

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
        ApplyPost(transfer, *post);
    }
    return transfer;
}

void CCurlHttpFetcherImpl::ApplyPost(CURL* transfer, const PostBody& post) {
    // A POST never goes out on a kept-alive connection: libcurl sends a request again
    // on a fresh connection when a reused one dies before any answer, and a server
    // that read a POST and then closed may already have acted on it. On a connection of
    // its own the POST goes out once, and fails if no answer comes.
    Curl().easy_setopt(transfer, CURLOPT_FRESH_CONNECT, 1L);
    // These belong to this transfer alone: the next GET is a GET again, reads no data
    // of this one and verifies its peer.
    BYTE* fields = post.data != nullptr ? post.data : s_emptyPostBody;
    Curl().easy_setopt(transfer, CURLOPT_POST, 1L);
    Curl().easy_setopt(transfer, CURLOPT_POSTFIELDS, fields);
    Curl().easy_setopt(transfer, CURLOPT_POSTFIELDSIZE, static_cast<long>(post.length));
    if (m_call == nullptr) {
        Curl().easy_setopt(transfer, CURLOPT_SSL_VERIFYPEER, 0L);
    }
}

void CCurlHttpFetcherImpl::SetCall(const http::CallSettings* call) {
    CSingleLock lock(&m_lock, TRUE);
    m_call = call;
}

bool CCurlHttpFetcherImpl::ApplyCall(CURL* transfer, std::uint64_t bodyLimit) {
    const FetchOptions& options = m_call->options;
    if (!ApplyCallHeaders(transfer, options)) {
        return false;
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
        m_delivery =
            std::make_unique<BodyDelivery>(*m_call->sink, options, bodyLimit, m_requestHead);
    }
    return true;
}

bool CCurlHttpFetcherImpl::ApplyCallHeaders(CURL* transfer, const FetchOptions& options) {
    if (options.headers.empty() && options.removedHeaders.empty()) {
        return true;
    }
    std::vector<bool> fromFetch;
    http::HeaderList pairs = http::MergeFetchHeaders(m_requestHeaders, options.headers,
                                                     options.removedHeaders, &fromFetch);
    // "Name:" leaves out a header libcurl would send itself (its Accept).
    for (const std::string& name : options.removedHeaders) {
        pairs.push_back(http::HeaderPair{name, std::string()});
        fromFetch.push_back(false);
    }
    if (!BuildHeaderList(pairs, fromFetch, &m_callHeaderList)) {
        return false;
    }
    Curl().easy_setopt(transfer, CURLOPT_HTTPHEADER, m_callHeaderList);
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

}  // namespace RVUtil::curl

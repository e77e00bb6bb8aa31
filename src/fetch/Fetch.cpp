// The outcome interface: one request through the read functions' own sequence, so that its
// code is theirs by construction, with the whole answer read before the request is ended.
#include "RVUtil/Fetch.h"

#include <cxxabi.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>

#include "RVUtil/BackendProbe.h"
#include "RVUtil/CCurlHttpFetcher.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "RVUtil/ExpiredTime.h"
#include "fetch/FetcherAccess.h"
#include "fetch/ReadSequence.h"
#include "http/CallSettings.h"
#include "http/HeaderPairs.h"
#include "http/ParsedHead.h"
#include "http/VerdictHeaders.h"
#include "platform/Ascii.h"

namespace RVUtil {

std::string_view FetchOutcome::Header(std::string_view name) const {
    for (const auto& [headerName, value] : headers) {
        if (ascii::EqualsNoCase(headerName, name)) {
            return value;
        }
    }
    return {};
}

namespace {

// The final response's status line and header lines, from its head as received.
void ReadHead(const http::HeadView& head, FetchOutcome& outcome) {
    if (head.Status() != 0) {
        outcome.status = head.Status();
        outcome.reason = std::string(head.Reason());
    }
    head.ForEachHeader([&outcome](std::string_view name, std::string_view value) {
        outcome.headers.emplace_back(name, value);
    });
    // The verdict and the expiry as the read functions read them (FindHeader's rule).
    const auto verdict = head.Find(kErrorVerdictHeader);
    if (verdict.has_value() && !verdict->empty()) {
        outcome.verdict = std::string(*verdict);
    }
    if (const auto expiry = head.Find(kExpiryHeader); expiry.has_value()) {
        const CTime32 when = RVUtil_gfnGetExpiredTime(CString(*expiry));
        outcome.expires =
            std::chrono::system_clock::time_point(std::chrono::seconds(when.GetTime()));
    }
}

// Why the fetch failed, for a code other than ERR_OK: the fetcher's own failure value where
// the request or the decoding failed, the answer's status or verdict otherwise.
Failure FailureOf(ErrorCode code, const FetchOutcome& outcome, const Failure& fetcherFailure) {
    switch (code) {
        case ERR_OK:
            return Failure();
        case ERR_HTTP_STATUS:
            break;
        case ERR_SERVER_VERDICT:
            return {FailureKind::Verdict, 0,
                    "the server's verdict: " + outcome.verdict.value_or("")};
        case ERR_ALLOC:
            return {FailureKind::OutOfMemory, 0, "no memory for the body"};
        case ERR_REQUEST:
        case ERR_DECOMPRESS:
            if (fetcherFailure) {
                return fetcherFailure;
            }
            // The own fetcher's POST gives a status other than 200 as a failed request.
            if (code == ERR_REQUEST && outcome.status != 0 && outcome.status != 200) {
                break;
            }
            return code == ERR_REQUEST
                       ? Failure{FailureKind::Internal, 0, "the request failed"}
                       : Failure{FailureKind::Decoding, 0, "the body does not decode"};
        case ERR_INIT:
        case ERR_NO_FETCHER:
            return {FailureKind::Internal, 0, "no fetcher could be set up"};
    }
    return {FailureKind::HttpStatus, outcome.status,
            "the server answered " + std::to_string(outcome.status) +
                (outcome.reason.empty() ? std::string() : " " + outcome.reason)};
}

// The first of the fetch's own headers that no request may carry, as a failure; none when
// every one may go.
Failure RefusedHeaderOf(const FetchOptions& options) {
    for (const auto& [name, value] : options.headers) {
        const http::HeaderRefusal refusal = http::CheckRequestHeader(name, value);
        if (refusal != http::HeaderRefusal::None) {
            return {FailureKind::RefusedHeader, 0,
                    std::string("request header refused (") + http::RefusalReason(refusal) +
                        "): " + (name.empty() ? "-" : name)};
        }
    }
    return Failure();
}

// The read functions' form for the fetch's method and body.
fetch::ReadForm FormFor(const FetchOptions& options) {
    if (options.method != FetchMethod::Post) {
        return fetch::ReadForm();
    }
    const auto length = std::min<std::size_t>(options.body.size(), LONG_MAX);
    return fetch::ReadForm::Post(
        const_cast<BYTE*>(reinterpret_cast<const BYTE*>(options.body.data())),
        // An empty POST is a POST of no bytes; the fetchers need somewhere
        // to point.
        static_cast<long>(length));
}

// Fills the outcome from the fetcher once the exchange has ended with code, before the
// fetcher lets the response go: the heads, the failure, and the body of an answer that came
// whole but failed for its status, its verdict or its decoding, as it arrived. A body the
// transfer did not bring whole is not handed out at all.
template <class Fetcher>
void TakeAnswer(Fetcher& fetcher, const FetchOptions& options, bool streaming, ErrorCode code,
                unsigned char*& body, long size, FetchOutcome& outcome) {
    http::HeadIndex index;
    outcome.responseHead = fetch::FetcherAccess::ResponseHead(fetcher, index);
    ReadHead(http::HeadView(outcome.responseHead, index), outcome);
    if (options.keepRequestHead) {
        outcome.requestHead = fetch::FetcherAccess::RequestHead(fetcher);
    }
    const Failure fetcherFailure = fetch::FetcherAccess::LastFailure(fetcher);
    outcome.failure = FailureOf(code, outcome, fetcherFailure);
    const bool cameWhole = code == ERR_HTTP_STATUS || code == ERR_SERVER_VERDICT ||
                           code == ERR_DECOMPRESS || (code == ERR_REQUEST && !fetcherFailure);
    if (!cameWhole || streaming) {
        return;
    }
    if (code == ERR_DECOMPRESS || body == nullptr) {
        delete[] std::exchange(body, nullptr);
        size = fetcher.GetResponseSize();
        body = fetch::FetcherAccess::TakeBody(fetcher);
    }
    if (body != nullptr) {
        outcome.body =
            OwnedBytes(std::exchange(body, nullptr), static_cast<std::size_t>(std::max(size, 0L)));
    }
}

template <class Fetcher>
FetchOutcome FetchWith(Fetcher& fetcher, std::string_view url, const FetchOptions& options,
                       const BodySink* sink) {
    FetchOutcome outcome;
    if (Failure refused = RefusedHeaderOf(options)) {
        outcome.failure = std::move(refused);
        return outcome;
    }
    // The sink sees every piece; the outcome counts them.
    BodySink counting;
    if (sink != nullptr) {
        counting = [&outcome, sink](std::span<const std::byte> piece) {
            outcome.delivered += piece.size();
            return (*sink)(piece);
        };
    }
    const http::CallSettings call{options, sink != nullptr ? &counting : nullptr};
    const std::string urlText(url);
    fetcher.EndRequest();  // a response the host left is not this fetch's
    fetch::FetcherAccess::SetCall(fetcher, &call);
    struct EndCall {
        Fetcher& fetcher;
        ~EndCall() { fetch::FetcherAccess::SetCall(fetcher, nullptr); }
    } endCall{fetcher};

    fetch::ReadForm form = FormFor(options);
    form.beforeEnd = [&](ErrorCode code, unsigned char*& body, long size) {
        TakeAnswer(fetcher, options, sink != nullptr, code, body, size, outcome);
    };
    unsigned char* out = nullptr;
    long size = 0;
    const unsigned long timeout = http::MillisecondsOf(options.timeout);
    outcome.code = fetch::ReadWithFetcher(fetcher, urlText.c_str(), &out, size, timeout, form);
    outcome.ok = outcome.code == ERR_OK;
    if (outcome.ok && sink == nullptr) {
        outcome.body = OwnedBytes(out, static_cast<std::size_t>(size));
    } else {
        delete[] out;
    }
    return outcome;
}

template <class Fetcher>
FetchOutcome FetchWithOwn(std::string_view url, const FetchOptions& options, const BodySink* sink) {
    std::unique_ptr<Fetcher> fetcher;
    FetchOutcome failed;
    failed.failure = {FailureKind::Internal, 0, "no fetcher could be set up"};
    try {
        fetcher = std::make_unique<Fetcher>();
        if (!fetcher->Init()) {
            failed.code = ERR_INIT;
            return failed;
        }
    } catch (const abi::__forced_unwind&) {
        throw;
    } catch (...) {
        failed.code = ERR_NO_FETCHER;
        return failed;
    }
    return FetchWith(*fetcher, url, options, sink);
}

FetchOutcome FetchWithKind(FetcherKind kind, std::string_view url, const FetchOptions& options,
                           const BodySink* sink) {
    if (kind == FetcherKind::Probe) {
        kind = RVUtil_IsUseWinInet() != 0 ? FetcherKind::Own : FetcherKind::Curl;
    }
    return kind == FetcherKind::Own ? FetchWithOwn<CRVHttpFetcher>(url, options, sink)
                                    : FetchWithOwn<CCurlHttpFetcher>(url, options, sink);
}

}  // namespace

FetchOutcome Fetch(CCurlHttpFetcher& fetcher, std::string_view url, const FetchOptions& options) {
    return FetchWith(fetcher, url, options, nullptr);
}

FetchOutcome Fetch(CRVHttpFetcher& fetcher, std::string_view url, const FetchOptions& options) {
    return FetchWith(fetcher, url, options, nullptr);
}

FetchOutcome Fetch(CCurlHttpFetcher& fetcher, std::string_view url, const FetchOptions& options,
                   const BodySink& sink) {
    return FetchWith(fetcher, url, options, &sink);
}

FetchOutcome Fetch(CRVHttpFetcher& fetcher, std::string_view url, const FetchOptions& options,
                   const BodySink& sink) {
    return FetchWith(fetcher, url, options, &sink);
}

FetchOutcome Fetch(FetcherKind kind, std::string_view url, const FetchOptions& options) {
    return FetchWithKind(kind, url, options, nullptr);
}

FetchOutcome Fetch(FetcherKind kind, std::string_view url, const FetchOptions& options,
                   const BodySink& sink) {
    return FetchWithKind(kind, url, options, &sink);
}

}  // namespace RVUtil

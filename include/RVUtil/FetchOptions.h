#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace RVUtil {

// What a request sends: a GET, a POST carrying FetchOptions::body, or a HEAD (the answer's
// head alone, its body never read).
enum class FetchMethod { Get, Post, Head };

// Receives a body as it arrives, piece by piece (decoded when the options ask for it), for a
// streaming fetch. A piece is valid only during the call. Returning false cancels the
// request: nothing more is read, and the fetch fails as cancelled.
using BodySink = std::function<bool(std::span<const std::byte> piece)>;

// What a HeadSink is told once the final response's head is complete. The views are valid
// only during the call.
struct HeadNotice {
    int status = 0;
    std::string_view head;  // the response's head exactly as received
    // The request's head as it was last sent, when FetchOptions::keepRequestHead asks for
    // it (empty otherwise): a host that shows both can show them in the order they crossed.
    std::string_view requestHead;
};

// Told of the final response's head once it is complete, before any of its body reaches a
// sink. Returning false cancels the request.
using HeadSink = std::function<bool(const HeadNotice& notice)>;

// How one fetch is made. Every field has a default that gives what the read functions do.
struct FetchOptions {
    FetchMethod method = FetchMethod::Get;
    // The bytes a POST sends; they must stay valid until the fetch returns.
    std::span<const std::byte> body;

    // Request headers of this fetch alone, sent after the fetcher's own (AddHeader) as
    // "Name: value". One whose name equals one of the fetcher's, letter case ignored,
    // replaces it for this fetch. A name that is empty or holds a colon, white space or a
    // control character, or a value holding CR, LF or NUL, fails the fetch before anything
    // is sent (FailureKind::RefusedHeader).
    std::vector<std::pair<std::string, std::string>> headers;
    // Headers a fetcher would send on its own that this fetch leaves out (the curl fetcher's
    // Accept, a header the fetcher's own list holds); Host always goes.
    std::vector<std::string> removedHeaders;
    // Credentials for the server, sent as HTTP Basic (over TLS for https) by either fetcher.
    std::optional<std::pair<std::string, std::string>> credentials;

    // The time-out the read functions take: the curl fetcher bounds the whole transfer by
    // it; the own fetcher bounds connecting, the response head, and every span of the body
    // (which must bring 1 KiB per span). Zero: no limit (curl), the defaults of 30 s to
    // connect and 60 s to receive (own).
    std::chrono::milliseconds timeout{30'000};
    // Connecting alone, name resolution included, on either fetcher; zero leaves it to
    // timeout.
    std::chrono::milliseconds connectTimeout{0};

    // The most body bytes the fetch takes: as received for a plain body, as decoded for an
    // encoded one. Unset: the process's limit (RVUtil_gfnGetBodyLimit). A whole body never
    // goes beyond that limit; a streaming fetch may lift it with 0 (no limit).
    std::optional<std::uint64_t> bodyLimit;
    // Decode a gzip or zstd body, as its Content-Encoding names it. False: the body as sent.
    bool decode = true;
    // Streaming only: deliver the body of an answer whose status is not 200, or that carries
    // an RV_Error verdict, to the sink too. Without it such a body is not delivered (the
    // outcome still tells the status and the verdict).
    bool deliverEveryAnswer = false;
    // Streaming only: told of the final head before the body (see HeadSink).
    HeadSink onHead;
    // The whole request, connecting to the last byte of the body, on either fetcher; zero:
    // no such bound (timeout still holds).
    std::chrono::milliseconds maxTime{0};

    // The proxy for this fetch, instead of the fetcher's (the system's proxy settings, or
    // CCurlHttpFetcher::SetProxy): "http://[user:password@]host:port" sends it through that
    // proxy (https in a tunnel), "" straight to the server. Hosts listed in noProxy (as
    // no_proxy lists them: names, domains, "*") go straight to the server, whichever proxy
    // the fetch would use.
    std::optional<std::string> proxy;
    std::string noProxy;

    // TLS trust for this fetch: a file of certificates and a folder of hashed ones to trust
    // instead of the trust store (empty: the trust store), and whether to check the peer at
    // all. verifyPeer false accepts any certificate and any name: only for testing.
    std::string caFile;
    std::string caPath;
    bool verifyPeer = true;

    // Keep the request's head as it was sent, in FetchOutcome::requestHead (and, for a
    // streaming fetch, in what onHead is told).
    bool keepRequestHead = false;
};

}  // namespace RVUtil

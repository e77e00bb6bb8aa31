#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "RVUtil/CString.h"
#include "RVUtil/CTime32.h"
#include "RVUtil/ErrorCode.h"
#include "RawResponseServer.h"

// The end-to-end targets: an input holds one or more raw responses, served one after the
// other to the read functions of one long-lived fetcher.
namespace rvfuzz {

// Separates the responses of an input. A response that starts with '+' is served with its
// connection kept open; the '+' itself is not sent.
inline constexpr std::string_view kNextResponse = "@@next@@";
inline constexpr std::size_t kMostResponses = 8;

std::vector<ScriptedResponse> SplitResponses(std::string_view input);

// What every fetcher must make of a response, for responses in a small strict subset:
// status line "HTTP/1.1 200", header lines "Name: value" of visible ASCII (lines ended by
// CR LF or LF alone), exactly one decimal Content-Length, no transfer or content coding.
// Such a response gives its body (ERR_OK), the verdict of a non-empty RV_Error (the first
// one), or ERR_REQUEST when the connection ends before the body is whole.
struct Expectation {
    RVUtil::ErrorCode code = RVUtil::ERR_OK;
    std::string body;
    bool bytesLeftOver = false;  // more bytes than the length: they stay on a kept connection
};
std::optional<Expectation> Expect(std::string_view response);

// One call of a read function: its code and the buffer it handed over (null unless ERR_OK),
// which the caller releases.
struct Outcome {
    RVUtil::ErrorCode code;
    unsigned char* body;
    long size;
};
using ReadFunction = std::function<Outcome(const char* url)>;

// Far beyond anything the loopback server makes a fetcher wait for.
inline constexpr unsigned long kReadTimeoutMs = 10000;

// What the end-to-end targets set before their fetcher starts: no proxy from the
// environment, a body limit of 1 MiB so that declared lengths above it are reachable.
void PrepareEndToEnd();
// Serves the input's responses in turn, reads each through read, and checks the outcomes.
void RunEndToEnd(std::string_view input, const ReadFunction& read);

// RunEndToEnd over the full form of a read function family and one fetcher made on the
// first input and kept for every later one.
template <class Fetcher, class FullForm>
void RunWithLongLivedFetcher(std::string_view input, FullForm fullForm) {
    static const bool prepared = (PrepareEndToEnd(), true);
    static Fetcher fetcher;
    static const bool ready = prepared && fetcher.Init() != 0;
    FUZZ_CHECK(ready);
    RunEndToEnd(input, [&fullForm](const char* url) {
        Outcome outcome{};
        CString message;
        CTime32 expiry;
        outcome.code =
            fullForm(&fetcher, url, &outcome.body, outcome.size, message, &expiry, kReadTimeoutMs);
        return outcome;
    });
}

}  // namespace rvfuzz

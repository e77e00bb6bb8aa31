#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "RVUtil/CString.h"
#include "RVUtil/CTime32.h"
#include "RVUtil/ErrorCode.h"

// The end-to-end targets: an input holds up to eight raw responses separated by "@@next@@",
// served one after the other to the read functions of one long-lived fetcher. The n-th goes
// to the request for "/<n>" on whichever connection (a fetcher that tries again gets it
// again), followed by a close. Markers at its start, in any order, are not sent: '!' asks
// for it with the POST form instead of the full form; '+' leaves its connection to the
// fetcher's next request instead of closing it, closed when none starts on it within 25 ms,
// so that a response that can never complete ends in a close, not in the fetcher's time-out;
// '-' ends the connection with a reset (RST) instead, '+' or not. Every input ends its
// connections before the next one starts.
namespace rvfuzz {

// One response of an input, its markers taken off.
struct ScriptedResponse {
    std::string bytes;      // sent as they are, whatever they hold
    bool keepOpen = false;  // leave the connection to the fetcher's next request
    bool reset = false;     // end the connection with a reset instead, kept open or not
    bool post = false;      // asked for with the POST form
    bool KeptOpen() const { return keepOpen && !reset; }
};
std::vector<ScriptedResponse> SplitResponses(std::string_view input);

// What one call of a read function answered, kept for the checks and for comparing two
// readings of the same response.
struct Outcome {
    static constexpr long kUntouchedSize = -1;
    static constexpr const char* kUntouchedMessage = "(untouched)";
    // The expiry "now + 10 s" given for a missing or unreadable VR_Expired, wherever in the
    // call "now" fell.
    static constexpr std::int64_t kGraceExpiry = INT64_MIN;

    bool post = false;  // asked for with the POST form (no message, no expiry)
    RVUtil::ErrorCode code = RVUtil::ERR_OK;
    long size = kUntouchedSize;       // the out size as the call left it
    std::optional<std::string> body;  // the buffer handed over
    std::string message;              // the full form's message
    std::int64_t expiry = 0;          // the full form's expiry out-parameter
};
using ReadFunction = std::function<Outcome(const char* url, bool post)>;

// Far beyond anything the loopback server makes a fetcher wait for.
inline constexpr unsigned long kReadTimeoutMs = 10000;

// What the end-to-end targets set before their fetcher starts: no proxy from the
// environment, a body limit of 1 MiB so that declared lengths above it are reachable.
void PrepareEndToEnd();
// Serves the input's responses in turn, reads each through read, checks the outcomes and
// what reached the server, and returns the outcomes.
std::vector<Outcome> RunEndToEnd(std::string_view input, const ReadFunction& read);
// An outcome from what a call answered; takes over out. called is when the call started.
Outcome Keep(bool post, RVUtil::ErrorCode code, unsigned char* out, long size,
             const CString& message, CTime32 expiry, std::time_t called);

// One response read through a family's full form or, for a POST, its POST form.
template <class Family>
Outcome Read(typename Family::Fetcher& fetcher, const char* url, bool post) {
    unsigned char* out = nullptr;
    long size = Outcome::kUntouchedSize;
    CString message(Outcome::kUntouchedMessage);
    CTime32 expiry;
    // Not empty: a POST without data goes out as a GET from one of the fetchers.
    unsigned char data[] = "fuzz=1";
    const std::time_t called = std::time(nullptr);
    const RVUtil::ErrorCode code =
        post ? Family::kPost(&fetcher, url, &out, size, kReadTimeoutMs, data, sizeof data - 1)
             : Family::kFull(&fetcher, url, &out, size, message, &expiry, kReadTimeoutMs);
    return Keep(post, code, out, size, message, expiry, called);
}

// RunEndToEnd over a family of read functions (tests/fetch/ReadFamilies.h) and one fetcher
// made on the first input and kept for every later one.
template <class Family>
std::vector<Outcome> RunWithLongLivedFetcher(std::string_view input) {
    static const bool prepared = (PrepareEndToEnd(), true);
    static typename Family::Fetcher fetcher;
    static const bool ready = prepared && fetcher.Init() != 0;
    FUZZ_CHECK(ready);
    return RunEndToEnd(input,
                       [](const char* url, bool post) { return Read<Family>(fetcher, url, post); });
}

}  // namespace rvfuzz

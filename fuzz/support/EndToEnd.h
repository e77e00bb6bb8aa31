#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "RVUtil/CString.h"
#include "RVUtil/CTime32.h"
#include "RVUtil/ErrorCode.h"

// The end-to-end targets: an input holds up to eight raw responses separated by "@@next@@",
// served one after the other to the read functions of one long-lived fetcher. The n-th goes
// to the request for "/<n>" on whichever connection (a fetcher that tries again gets it
// again), followed by a close; one that starts with '+' (not sent) leaves its connection to
// the fetcher's next request instead, and is closed when none starts on it within 25 ms,
// so that a response that can never complete ends in a close, not in the fetcher's
// time-out. Every input ends its connections before the next one starts.
namespace rvfuzz {

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

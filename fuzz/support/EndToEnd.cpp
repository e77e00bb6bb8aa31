#include "EndToEnd.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "RVUtil/BodyLimit.h"
#include "ScopedEnvironment.h"
#include "loopback/LoopbackServer.h"
#include "platform/Ascii.h"

namespace rvfuzz {
namespace {

using RVUtil::ascii::EqualsNoCase;

constexpr long long kBodyLimit = 1 << 20;
inline constexpr std::string_view kNextResponse = "@@next@@";
inline constexpr std::size_t kMostResponses = 8;
// How long a connection kept open waits for the fetcher's next request. A fetcher that needs
// more bytes would wait for ever; one that has all it needs asks again well within this, and
// if it does not, the close comes after it has read everything and it connects anew.
constexpr std::chrono::milliseconds kKeptOpenIdle{25};

constexpr char kPostMarker = '!';
constexpr char kKeepOpenMarker = '+';
constexpr char kResetMarker = '-';

// The requests that reached the server for one response.
struct Arrivals {
    std::size_t posts = 0;
    std::size_t others = 0;
};

// Answers the request for "/<n>", on whichever connection, with the n-th response of the
// input being run, and closes every other request unanswered.
class ResponseServer {
  public:
    std::string Url(std::size_t n) const { return m_server.Url("/" + std::to_string(n)); }
    Arrivals ArrivalsFor(std::size_t n) {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_arrivals[n];
    }
    // The input's responses, served until Finish.
    void Play(const std::vector<ScriptedResponse>& responses) {
        std::lock_guard<std::mutex> hold(m_mutex);
        for (const ScriptedResponse& response : responses) {
            loopback::Reply reply(response.bytes);
            if (response.reset) {
                reply.Reset();
            } else {
                response.keepOpen ? reply.CloseIfIdle(kKeptOpenIdle) : reply.Close();
            }
            m_replies.push_back(std::make_shared<const loopback::Reply>(std::move(reply)));
        }
    }
    // Ends the input's connections and forgets its responses, so that the next input
    // starts from the same state and what the server allocated for this one is freed
    // within it (libFuzzer counts allocations per input to look for leaks).
    void Finish() {
        m_server.EndConnections();
        std::lock_guard<std::mutex> hold(m_mutex);
        m_replies.clear();
        m_arrivals.fill({});
    }

  private:
    std::shared_ptr<const loopback::Reply> Answer(const loopback::ReceivedRequest& request) {
        const std::string_view target = request.Target();
        const char* last = target.data() + target.size();
        std::size_t n = kMostResponses;  // beyond every input's responses when out of range
        if (target.size() < 2 || target[0] != '/' ||
            std::from_chars(target.data() + 1, last, n).ptr != last) {
            return nullptr;
        }
        std::lock_guard<std::mutex> hold(m_mutex);
        if (n >= m_replies.size()) {
            return nullptr;
        }
        Arrivals& arrivals = m_arrivals[n];
        if (request.RequestLine().starts_with("POST ")) {
            ++arrivals.posts;
        } else {
            ++arrivals.others;
        }
        return m_replies[n];
    }

    std::mutex m_mutex;
    std::vector<std::shared_ptr<const loopback::Reply>> m_replies;
    std::array<Arrivals, kMostResponses> m_arrivals{};
    // Last, so that it stops, and no longer calls Answer, before the replies go.
    loopback::Server m_server{[this](loopback::ReceivedRequest&& r) { return Answer(r); }};
};

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

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || RVUtil::ascii::IsDigit(c) ||
           c == '-' || c == '_';
}
bool IsTextChar(char c) {
    return c >= 0x20 && c <= 0x7e;
}
template <class Pred>
bool All(std::string_view text, Pred pred) {
    return std::all_of(text.begin(), text.end(), pred);
}

bool IsPlainStatusLine(std::string_view line) {
    constexpr std::string_view kStatus = "HTTP/1.1 200";
    return line.substr(0, kStatus.size()) == kStatus &&
           (line.size() == kStatus.size() ||
            (line[kStatus.size()] == ' ' && All(line.substr(kStatus.size()), IsTextChar)));
}

std::optional<Expectation> Expect(std::string_view response) {
    std::optional<std::size_t> length;
    std::optional<std::string_view> verdict;
    std::size_t at = 0;
    for (bool statusLine = true;; statusLine = false) {
        const std::size_t lf = response.find('\n', at);
        if (lf == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view line = response.substr(at, lf - at);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        at = lf + 1;
        if (statusLine) {
            if (!IsPlainStatusLine(line)) {
                return std::nullopt;
            }
            continue;
        }
        if (line.empty()) {
            break;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0 || line.substr(colon, 2) != ": ") {
            return std::nullopt;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = line.substr(colon + 2);
        if (!All(name, IsNameChar) || !All(value, IsTextChar) ||
            EqualsNoCase(name, "Transfer-Encoding") || EqualsNoCase(name, "Content-Encoding")) {
            return std::nullopt;
        }
        if (EqualsNoCase(name, "Content-Length")) {
            if (length || value.empty() || value.size() > 9 ||
                !All(value, RVUtil::ascii::IsDigit)) {
                return std::nullopt;
            }
            length = std::strtoul(std::string(value).c_str(), nullptr, 10);
        } else if (EqualsNoCase(name, "RV_Error") && !verdict) {
            verdict = value;
        }
    }
    if (!length) {
        return std::nullopt;
    }
    const std::string_view body = response.substr(at);
    Expectation expected;
    expected.bytesLeftOver = body.size() > *length;
    if (body.size() < *length) {
        expected.code = RVUtil::ERR_REQUEST;
    } else if (verdict && !verdict->empty()) {
        expected.code = RVUtil::ERR_SERVER_VERDICT;
    } else {
        expected.body = body.substr(0, *length);
    }
    return expected;
}

}  // namespace

std::vector<ScriptedResponse> SplitResponses(std::string_view input) {
    std::vector<ScriptedResponse> responses;
    while (responses.size() < kMostResponses) {
        const std::size_t end = input.find(kNextResponse);
        std::string_view bytes = input.substr(0, end);
        ScriptedResponse response;
        // The markers, each at most once, in any order.
        while (!bytes.empty()) {
            bool* const flag = bytes.front() == kPostMarker       ? &response.post
                               : bytes.front() == kKeepOpenMarker ? &response.keepOpen
                               : bytes.front() == kResetMarker    ? &response.reset
                                                                  : nullptr;
            if (flag == nullptr || *flag) {
                break;
            }
            *flag = true;
            bytes.remove_prefix(1);
        }
        response.bytes = bytes;
        responses.push_back(std::move(response));
        if (end == std::string_view::npos) {
            break;
        }
        input.remove_prefix(end + kNextResponse.size());
    }
    return responses;
}

void PrepareEndToEnd() {
    static rvtest::ScopedEnvironment environment;
    environment.UnsetProxies();
    RVUtil::RVUtil_gfnSetBodyLimit(kBodyLimit);
}

Outcome Keep(bool post, RVUtil::ErrorCode code, unsigned char* out, long size,
             const CString& message, CTime32 expiry, std::time_t called) {
    const std::unique_ptr<unsigned char[]> owned(out);
    Outcome outcome;
    outcome.post = post;
    outcome.code = code;
    outcome.size = size;
    outcome.message = message.GetString();
    outcome.expiry = expiry.GetTime();
    FUZZ_CHECK(out == nullptr || size >= 0);
    if (out != nullptr) {
        outcome.body.emplace(reinterpret_cast<const char*>(out), static_cast<std::size_t>(size));
    }
    constexpr std::time_t kGrace = 10;
    if (outcome.expiry >= called + kGrace && outcome.expiry <= std::time(nullptr) + kGrace) {
        outcome.expiry = Outcome::kGraceExpiry;
    }
    return outcome;
}

std::vector<Outcome> RunEndToEnd(std::string_view input, const ReadFunction& read) {
    static ResponseServer server;
    const std::vector<ScriptedResponse> responses = SplitResponses(input);
    server.Play(responses);
    std::vector<Outcome> outcomes;
    // Once a response left on a kept connection is outside the subset, or leaves bytes
    // behind, what the connection holds next is the server's mess: later outcomes are
    // only checked for sanity.
    bool judging = true;
    for (std::size_t i = 0; i < responses.size(); ++i) {
        const ScriptedResponse& response = responses[i];
        const Outcome& outcome = outcomes.emplace_back(read(server.Url(i).c_str(), response.post));
        FUZZ_CHECK(outcome.code >= RVUtil::ERR_OK && outcome.code <= RVUtil::ERR_SERVER_VERDICT);
        FUZZ_CHECK((outcome.code == RVUtil::ERR_OK) == outcome.body.has_value());
        const std::optional<Expectation> expected = judging ? Expect(response.bytes) : std::nullopt;
        if (expected) {
            const bool sameSize = outcome.size == static_cast<long>(expected->body.size());
            if (outcome.code != expected->code || (outcome.code == RVUtil::ERR_OK && !sameSize)) {
                Report("response %zu: code %d, %ld bytes; expected code %d, %zu bytes\n", i,
                       static_cast<int>(outcome.code), outcome.size,
                       static_cast<int>(expected->code), expected->body.size());
            }
            FUZZ_CHECK(outcome.code == expected->code);
            FUZZ_CHECK(outcome.code != RVUtil::ERR_OK || outcome.body == expected->body);
        }
        judging = judging && (!response.KeptOpen() || (expected && !expected->bytesLeftOver));

        // A fetcher may ask again for what it never got, but never sends a POST twice: the
        // server may have acted on the first.
        const Arrivals arrivals = server.ArrivalsFor(i);
        const bool methodAsked = response.post ? arrivals.others == 0 : arrivals.posts == 0;
        const bool postOnce = arrivals.posts <= 1;
        if (!methodAsked || !postOnce) {
            Report("response %zu: %zu POST and %zu other requests reached the server\n", i,
                   arrivals.posts, arrivals.others);
        }
        FUZZ_CHECK(methodAsked);
        FUZZ_CHECK(postOnce);
    }
    server.Finish();
    return outcomes;
}

}  // namespace rvfuzz

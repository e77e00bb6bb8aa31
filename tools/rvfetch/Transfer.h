#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include <RVUtil/Fetch.h>

#include "Backend.h"
#include "Options.h"
#include "Output.h"
#include "Progress.h"
#include "ResponseHead.h"
#include "WriteOut.h"

namespace rvfetch {

// A warning as curl writes one: "Warning: " before each line, lines cut at a blank so that
// none passes column 79.
void Warn(std::string_view text);

// What every transfer of a run shares: the options, the fetcher and the -D output.
struct Run {
    const Options& options;
    Backend& backend;
    std::unique_ptr<Output> dumpHeader;  // -D; null without it
};

// One URL of the command line, as curl runs it: the request, the redirects -L follows, the
// tries --retry makes, the body streamed to its output as it arrives (or fetched whole with
// --whole), the heads for -i, -D and -v, the progress meter, -w, and the exit status with
// the message that explains it.
class Transfer {
  public:
    Transfer(Run& run, std::string url, OutputName output);
    int Perform();

    struct Ending {
        Ending() = default;
        Ending(int exitCode, std::string text) : code(exitCode), words(std::move(text)) {}
        int code = 0;
        std::string words;
        bool retryable = false;
        std::string problem;  // what the retry warning names
        std::chrono::seconds retryAfter{0};
    };

  private:
    // Why rvfetch itself ended a fetch or failed it after the answer came.
    enum class Stop { None, HttpError, Verdict, FileSize, Binary, Write };

    Ending Attempt();
    Ending FetchOnce(const std::string& url, Method method, bool sameOrigin, bool& redirected,
                     std::string& next);
    RVUtil::FetchOptions OptionsFor(Method method, bool sameOrigin) const;
    // The answer's head: written for -i and -D, shown for -v, and what becomes of the body
    // decided. False when the transfer stops here.
    bool TakeHead(std::string_view raw);
    // -v shows the request's head, once per fetch, before the answer's.
    void ShowRequestHead(std::string_view raw);
    bool Deliver(std::span<const std::byte> piece);
    bool WriteBody(std::string_view bytes);
    Ending Stopped(const RVUtil::FetchOutcome& outcome) const;
    std::chrono::milliseconds Remaining() const;
    void WarnUnlessSilent(const std::string& text) const;
    void Say(const Ending& ending) const;

    Run& m_run;
    const Options& m_options;
    std::string m_url;
    OutputName m_outputName;
    std::unique_ptr<Output> m_output;
    std::unique_ptr<Progress> m_progress;
    std::chrono::steady_clock::time_point m_start;

    // The answer being received.
    ResponseHead m_head;
    bool m_headSeen = false;
    bool m_requestShown = false;
    bool m_redirect = false;        // a redirect -L follows: its body is read and dropped
    bool m_drop = false;            // the body is not written (-f, a verdict, a redirect)
    bool m_countDelivered = false;  // --max-filesize counted here, not by the library
    Stop m_stop = Stop::None;
    std::uint64_t m_delivered = 0;

    TransferFacts m_facts;
};

}  // namespace rvfetch

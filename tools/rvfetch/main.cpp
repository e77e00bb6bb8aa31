// rvfetch: the library's command-line host. It fetches one URL through the library's read
// functions, or with --demo serves sample resources on loopback and fetches each of them
// through every backend.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <optional>
#include <string>

#include "Backend.h"
#include "DemoServer.h"
#include "FailureWords.h"
#include "LogFolder.h"
#include "Options.h"
#include "Output.h"
#include "Progress.h"
#include "RecordTrail.h"
#include "Redirect.h"
#include "ResponseHead.h"
#include "platform/Ascii.h"

namespace rvfetch {

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitOutput = 3;
constexpr const char* kSeeHelp = "rvfetch: see 'rvfetch --help'\n";

int ExitStatusFor(RVUtil::ErrorCode code) {
    switch (code) {
        case RVUtil::ERR_OK:
            return 0;
        case RVUtil::ERR_NO_FETCHER:
            return 19;
        default:
            return 10 + static_cast<int>(code);
    }
}

std::string FormatLocal(const CTime32& time) {
    const std::time_t t = static_cast<std::time_t>(time.GetTime());
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local);
    return text;
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The time-out handed to the read function. The inet transport's one time-out covers the
// connect and each wait for data, so a connect time-out is met by the smaller of the two.
unsigned long TimeoutFor(const Options& options) {
    if (options.connectTimeoutMs == 0) {
        return options.timeoutMs;
    }
    return options.timeoutMs == 0 ? options.connectTimeoutMs
                                  : std::min(options.timeoutMs, options.connectTimeoutMs);
}

// One fetch of a URL, following redirects with -L, and what it tells the person at the
// terminal.
class Fetch {
  public:
    Fetch(const Options& options, Backend& backend, const RecordTrail& trail)
        : m_options(options), m_backend(backend), m_trail(trail) {}

    int Run() {
        std::string error;
        if (!m_output.Open(m_options.outputFile, error)) {
            Say("rvfetch: %s\n", error.c_str());
            return kExitOutput;
        }
        Request request;
        request.url = m_options.url;
        request.headers = m_options.headers;
        request.postData = m_options.postData;
        request.timeoutMs = TimeoutFor(m_options);
        request.proxyHost = m_options.proxyHost;
        request.proxyPort = m_options.proxyPort;
        request.wantExpiry = m_options.showExpiry;
        FetchResult result;
        ResponseHead head;
        {
            std::optional<Progress> progress;
            if (!m_options.silent) {
                progress.emplace("fetching " + m_options.url);
            }
            for (long redirects = 0;; ++redirects) {
                const std::size_t mark = m_trail.Mark();
                const auto start = std::chrono::steady_clock::now();
                result = m_backend.fetch(request, m_trail);
                head = ReadResponseHead(result.rawHeaders.GetString());
                if (m_options.verbose) {
                    Summary(request, result, head, MillisecondsSince(start));
                }
                if (!result.refusedHeader.empty()) {
                    m_output.Discard();
                    Say("rvfetch: %s\n", result.refusedHeader.c_str());
                    return kExitUsage;
                }
                if (result.code == RVUtil::ERR_OK || !m_options.followRedirects ||
                    !IsRedirectStatus(head.status)) {
                    m_records = m_trail.Since(mark);
                    break;
                }
                m_heads += result.rawHeaders.GetString();
                std::string refusal;
                if (redirects == m_options.maxRedirects) {
                    refusal =
                        "gave up after " + std::to_string(redirects) + " redirects (--max-redirs)";
                } else if (!head.hasLocation) {
                    refusal = "a redirect without a Location";
                } else if (!Follow(request, head, refusal)) {
                    // refusal says why
                } else {
                    continue;
                }
                return Fail(result, head, "HTTP status " + head.StatusText() + ": " + refusal);
            }
        }
        if (result.code != RVUtil::ERR_OK) {
            return Fail(result, head,
                        DescribeFailure(m_records, head.StatusText(), request.timeoutMs));
        }
        if (m_options.showExpiry) {
            std::fprintf(stderr, "VR_Expired: %s\n", FormatLocal(result.expiry).c_str());
        }
        if (m_options.showHeaders) {
            m_heads += result.rawHeaders.GetString();  // ends with its own empty line
        } else {
            m_heads.clear();
        }
        const std::string_view body(reinterpret_cast<const char*>(result.body.get()),
                                    static_cast<std::size_t>(result.size));
        if (!m_output.WriteAll(m_heads, body, error)) {
            Say("rvfetch: %s\n", error.c_str());
            return kExitOutput;
        }
        return 0;
    }

  private:
    // Points request at the redirect's target; false with the reason when it goes nowhere
    // rvfetch follows.
    bool Follow(Request& request, const ResponseHead& head, std::string& refusal) {
        const RedirectTarget target = ResolveLocation(request.url, head.location);
        if (!target.refusal.empty()) {
            refusal = target.refusal;
            return false;
        }
        if (!SameOrigin(request.url, target.url)) {
            // The person's credentials and cookies were meant for the first host only.
            std::erase_if(request.headers, [](const auto& header) {
                return RVUtil::ascii::EqualsNoCase(header.first, "Authorization") ||
                       RVUtil::ascii::EqualsNoCase(header.first, "Cookie");
            });
        }
        if (RedirectDropsBody(head.status)) {
            request.postData.reset();
        }
        request.url = target.url;
        return true;
    }

    int Fail(const FetchResult& result, const ResponseHead& head, const std::string& cause) {
        m_output.Discard();
        if (m_options.showHeaders && m_output.IsStandardOutput()) {
            std::string error;
            m_output.WriteAll(m_heads + result.rawHeaders.GetString(), {}, error);
        }
        if (!m_options.silent || m_options.showError) {
            std::fprintf(stderr, "rvfetch: %s (%d)%s%s\n", CodeName(result.code),
                         static_cast<int>(result.code), result.message.IsEmpty() ? "" : ": ",
                         result.message.GetString());
            if (!cause.empty()) {
                std::fprintf(stderr, "rvfetch: cause: %s\n", cause.c_str());
            }
            if (IsRedirectStatus(head.status) && !m_options.followRedirects && head.hasLocation) {
                std::fprintf(stderr, "rvfetch: the Location is %s; -L follows it\n",
                             head.location.c_str());
            }
        }
        return ExitStatusFor(result.code);
    }

    void Summary(const Request& request, const FetchResult& result, const ResponseHead& head,
                 double ms) const {
        std::fprintf(stderr, "rvfetch: backend %s, %s %s, status %s, %s (%d), %ld bytes, %.1f ms\n",
                     m_backend.name(), request.postData ? "POST" : "GET", request.url.c_str(),
                     head.status == 0 ? "none" : head.StatusText().c_str(), CodeName(result.code),
                     static_cast<int>(result.code), result.size, ms);
    }

    template <class... Args>
    void Say(const char* format, Args... args) const {
        if (!m_options.silent || m_options.showError) {
            std::fprintf(stderr, format, args...);
        }
    }

    const Options& m_options;
    Backend& m_backend;
    const RecordTrail& m_trail;
    Output m_output;
    std::string m_heads;  // the header blocks of the redirects followed, for -i
    std::vector<LogRecord> m_records;
};

int FetchOne(const Options& options, const RecordTrail& trail) {
    if (options.maxFileSize > 0) {
        RVUtil::RVUtil_gfnSetBodyLimit(options.maxFileSize);
    }
    std::unique_ptr<Backend> backend = ChooseBackend(options.backend);
    if (options.connectTimeoutMs != 0 && !backend->hasConnectTimeout()) {
        std::fprintf(stderr,
                     "rvfetch: --connect-timeout: the %s backend has no time-out of its own for "
                     "connecting; -m/--max-time limits the whole request, connecting "
                     "included\n",
                     backend->name());
        return kExitUsage;
    }
    return Fetch(options, *backend, trail).Run();
}

int Demo(const RecordTrail& trail, const std::string& logFolder) {
    const int useInet = RVUtil::RVUtil_IsUseWinInet();
    std::printf("probe: RVUtil_IsUseWinInet() = %d (auto would use %s); log records go to %s\n\n",
                useInet, useInet ? "inet" : "curl",
                logFolder.empty() ? "standard error" : logFolder.c_str());
    DemoServer server;
    std::printf("%-10s %-20s %-8s %-22s %8s %9s\n", "resource", "what", "backend", "result",
                "bytes", "time");
    for (BackendChoice choice : {BackendChoice::Curl, BackendChoice::Inet}) {
        std::unique_ptr<Backend> backend = ChooseBackend(choice);
        for (const DemoServer::Resource& resource : DemoServer::resources()) {
            Request request;
            request.url = server.url(resource.path);
            request.timeoutMs = 5000;
            request.wantExpiry = true;
            const auto start = std::chrono::steady_clock::now();
            const FetchResult result = backend->fetch(request, trail);
            const double ms = MillisecondsSince(start);
            char code[40];
            std::snprintf(code, sizeof code, "%s (%d)", CodeName(result.code),
                          static_cast<int>(result.code));
            std::printf("%-10s %-20s %-8s %-22s %8ld %7.1f ms", resource.path.c_str(),
                        resource.description.c_str(), backend->name(), code, result.size, ms);
            if (result.code == RVUtil::ERR_OK && resource.path == "/expiry") {
                std::printf("  expires %s", FormatLocal(result.expiry).c_str());
            } else if (!result.message.IsEmpty()) {
                std::printf("  %s", result.message.GetString());
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    return 0;
}

int Run(int argc, char** argv) {
    const ParsedCommandLine parsed = ParseCommandLine(argc, argv);
    switch (parsed.outcome) {
        case ParsedCommandLine::Mistake:
            std::fprintf(stderr, "rvfetch: %s\n%s", parsed.text.c_str(), kSeeHelp);
            return kExitUsage;
        case ParsedCommandLine::Help:
            std::fputs(parsed.text.c_str(), stdout);
            return 0;
        case ParsedCommandLine::Version:
            std::printf("rvfetch %s\n", RVFETCH_VERSION);
            return 0;
        case ParsedCommandLine::Run:
            break;
    }
    const Options& options = parsed.options;
    try {
        // The log folder first, then the observer, then the probe, which sends the log to
        // the folder: -v shows the probe's own record too, and nothing lands beside rvfetch.
        const std::string logFolder = ChooseLogFolder();
        const RecordTrail trail(options.verbose);
        RVUtil::RVUtil_IsUseWinInet();
        return options.demo ? Demo(trail, logFolder) : FetchOne(options, trail);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rvfetch: %s\n", e.what());
        return 1;
    }
}

}  // namespace

}  // namespace rvfetch

int main(int argc, char** argv) {
    const int status = rvfetch::Run(argc, argv);
#ifdef RVFETCH_QUICK_EXIT
    // By now the body is written through its own descriptor, which is closed, and every
    // library record was flushed as it was made; only stdio is left. Leaving through exit()
    // would run the C libraries' clean-up, OpenSSL's alone a twentieth of a short run.
    // (Sanitizer builds leave the usual way, for the leak check at exit.)
    std::fflush(nullptr);
    std::_Exit(status);
#else
    return status;
#endif
}

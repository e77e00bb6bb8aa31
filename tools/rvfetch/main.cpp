// rvfetch: the library's command-line host. It fetches URLs through the library's outcome
// interface with curl's options and exit statuses, or with --demo serves sample resources
// on loopback and fetches each of them through every backend.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include <RVUtil/RVUtil.h>

#include "Backend.h"
#include "DemoServer.h"
#include "ExitCodes.h"
#include "LogFolder.h"
#include "Options.h"
#include "Transfer.h"

namespace rvfetch {

namespace {

const char* CodeName(RVUtil::ErrorCode code) {
    switch (code) {
        case RVUtil::ERR_OK:
            return "ERR_OK";
        case RVUtil::ERR_REQUEST:
            return "ERR_REQUEST";
        case RVUtil::ERR_HTTP_STATUS:
            return "ERR_HTTP_STATUS";
        case RVUtil::ERR_DECOMPRESS:
            return "ERR_DECOMPRESS";
        case RVUtil::ERR_ALLOC:
            return "ERR_ALLOC";
        case RVUtil::ERR_SERVER_VERDICT:
            return "ERR_SERVER_VERDICT";
        case RVUtil::ERR_INIT:
            return "ERR_INIT";
        case RVUtil::ERR_NO_FETCHER:
            return "ERR_NO_FETCHER";
    }
    return "ERR_UNKNOWN";
}

// Each sample through both fetchers: the read functions' code for it, the size of the body,
// the time, and the expiry or the failure's words.
int Demo(const LogFolder& log) {
    const int useInet = RVUtil::RVUtil_IsUseWinInet();
    std::printf("probe: RVUtil_IsUseWinInet() = %d (auto would use %s); log records go to %s\n\n",
                useInet, useInet ? "inet" : "curl", log.Where().c_str());
    DemoServer server;
    std::printf("%-10s %-20s %-8s %-22s %8s %9s\n", "resource", "what", "backend", "result",
                "bytes", "time");
    for (const RVUtil::FetcherKind kind : {RVUtil::FetcherKind::Curl, RVUtil::FetcherKind::Own}) {
        for (const DemoServer::Resource& resource : DemoServer::Resources()) {
            RVUtil::FetchOptions options;
            options.timeout = std::chrono::seconds(5);
            const auto start = std::chrono::steady_clock::now();
            const RVUtil::FetchOutcome outcome =
                RVUtil::Fetch(kind, server.Url(resource.path), options);
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            char code[40];
            std::snprintf(code, sizeof code, "%s (%d)", CodeName(outcome.code),
                          static_cast<int>(outcome.code));
            std::printf("%-10s %-20s %-8s %-22s %8zu %7.1f ms", resource.path.c_str(),
                        resource.description.c_str(),
                        kind == RVUtil::FetcherKind::Curl ? "curl" : "inet", code,
                        outcome.body.size(), ms);
            if (outcome.expires) {
                const std::time_t t = std::chrono::system_clock::to_time_t(*outcome.expires);
                char when[64];
                std::tm local{};
                localtime_r(&t, &local);
                std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
                std::printf("  expires %s", when);
            } else if (!outcome.ok) {
                std::printf("  %s", outcome.failure.words.c_str());
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    return 0;
}

int Fetch(const Options& options, const LogFolder& log) {
    if (options.verbose && log.Dropped()) {
        std::fprintf(stderr, "* The library's records are dropped: %s\n",
                     log.DroppedBecause().c_str());
    }
    std::string why;
    const std::unique_ptr<Backend> backend = MakeBackend(options.backend, why);
    if (!backend) {
        std::fprintf(stderr, "rvfetch: (%d) %s\n", exitcode::kUsage, why.c_str());
        return exitcode::kUsage;
    }
    Run run{options, *backend, nullptr};
    if (options.dumpHeader) {
        run.dumpHeader = std::make_unique<Output>(*options.dumpHeader, options.createDirs);
    }
    // As curl: every URL is fetched, and the last one's status is the run's.
    int status = exitcode::kOk;
    for (std::size_t i = 0; i < options.urls.size(); ++i) {
        const OutputName output = i < options.outputs.size() ? options.outputs[i] : OutputName{};
        status = Transfer(run, options.urls[i], output).Perform();
    }
    return status;
}

int Main(int argc, char** argv) {
    const ParsedCommandLine parsed = ParseCommandLine(argc, argv);
    switch (parsed.outcome) {
        case ParsedCommandLine::Mistake:
            if (parsed.option.empty()) {
                std::fprintf(stderr, "rvfetch: %s\n", parsed.text.c_str());
            } else {
                std::fprintf(stderr, "rvfetch: option %s: %s\n", parsed.option.c_str(),
                             parsed.text.c_str());
            }
            std::fputs("rvfetch: try 'rvfetch --help' for more information\n", stderr);
            return exitcode::kUsage;
        case ParsedCommandLine::Help:
            std::fputs(parsed.text.c_str(), stdout);
            return exitcode::kOk;
        case ParsedCommandLine::Version:
            std::printf("rvfetch %s\n", RVFETCH_VERSION);
            return exitcode::kOk;
        case ParsedCommandLine::Run:
            break;
    }
    const Options& options = parsed.options;
    if (!options.silent) {
        for (const std::string& warning : options.warnings) {
            Warn(warning);
        }
        if (options.insecure) {
            Warn("-k/--insecure: servers' certificates and names go unchecked");
        }
    }
    // A closed pipe is a failed write (23), as in curl, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        // The log folder first, then the observer, then the probe, which leaves the log where
        // rvfetch put it: -v shows the probe's own record too.
        const LogFolder log;
        std::optional<RecordEcho> echo;
        if (options.verbose) {
            echo.emplace();
        }
        RVUtil::RVUtil_IsUseWinInet();
        return options.demo ? Demo(log) : Fetch(options, log);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rvfetch: %s\n", e.what());
        return exitcode::kUsage;
    }
}

}  // namespace

}  // namespace rvfetch

int main(int argc, char** argv) {
    const int status = rvfetch::Main(argc, argv);
#ifdef RVFETCH_QUICK_EXIT
    // By now the body is written through its own descriptor and every library record was
    // flushed as it was made; only stdio is left. Leaving through exit() would run the C
    // libraries' clean-up, OpenSSL's alone a twentieth of a short run. (Sanitizer builds
    // leave the usual way, for the leak check at exit.)
    std::fflush(nullptr);
    std::_Exit(status);
#else
    return status;
#endif
}

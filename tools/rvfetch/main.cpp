// rvfetch: the library's command-line host. It fetches one URL through the library's read
// functions, or with --demo serves sample resources on loopback and fetches each of them
// through every backend.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>

#include "Backend.h"
#include "DemoServer.h"
#include "Options.h"
#include "Progress.h"

namespace rvfetch {

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitOutput = 3;

int exitStatusFor(RVUtil::ErrorCode code) {
    switch (code) {
        case RVUtil::ERR_OK:
            return 0;
        case RVUtil::ERR_NO_FETCHER:
            return 19;
        default:
            return 10 + static_cast<int>(code);
    }
}

std::string formatLocal(const CTime32& time) {
    const std::time_t t = static_cast<std::time_t>(time.GetTime());
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local);
    return text;
}

bool writeBody(const Options& options, const FetchResult& result) {
    std::FILE* out =
        options.outputFile.empty() ? stdout : std::fopen(options.outputFile.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "rvfetch: cannot write %s\n", options.outputFile.c_str());
        return false;
    }
    if (options.showHeaders) {
        std::fputs(result.rawHeaders, out);  // ends with its own empty line
    }
    const std::size_t size = static_cast<std::size_t>(result.size);
    bool ok = size == 0 || std::fwrite(result.body.get(), 1, size, out) == size;
    ok = (out == stdout ? std::fflush(out) == 0 : std::fclose(out) == 0) && ok;
    if (!ok) {
        std::fprintf(stderr, "rvfetch: writing the body failed\n");
    }
    return ok;
}

int fetchOne(const Options& options) {
    std::unique_ptr<Backend> backend = ChooseBackend(options.backend);
    if (!backend) {
        std::fprintf(stderr, "rvfetch: that backend is not available in this build\n");
        return kExitUsage;
    }
    const auto start = std::chrono::steady_clock::now();
    FetchResult result;
    {
        Progress progress("fetching " + options.url);
        result = backend->fetch(options);
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (options.verbose) {
        std::fprintf(stderr, "rvfetch: backend %s, status %d, %s (%d), %ld bytes, %.1f ms\n",
                     backend->name(), result.status, CodeName(result.code),
                     static_cast<int>(result.code), result.size, ms);
    }
    if (result.code != RVUtil::ERR_OK) {
        if (options.showHeaders) {
            std::fputs(result.rawHeaders, stdout);  // what the server said, even on failure
        }
        std::fprintf(stderr, "rvfetch: %s (%d): %s\n", CodeName(result.code),
                     static_cast<int>(result.code),
                     result.message.IsEmpty() ? "-" : result.message.GetString());
        return exitStatusFor(result.code);
    }
    if (options.showExpiry) {
        std::fprintf(stderr, "VR_Expired: %s\n", formatLocal(result.expiry).c_str());
    }
    return writeBody(options, result) ? 0 : kExitOutput;
}

int demo() {
    // The probe first, as a host would at start-up: it also sends the library's log records
    // to the Log folder beside this program, out of the table below.
    const int useInet = RVUtil::RVUtil_IsUseWinInet();
    std::printf(
        "probe: RVUtil_IsUseWinInet() = %d (auto would use %s); log records go to Log/ beside "
        "rvfetch\n\n",
        useInet, useInet ? "inet" : "curl");
    DemoServer server;
    std::printf("%-10s %-20s %-8s %-22s %8s %9s\n", "resource", "what", "backend", "result",
                "bytes", "time");
    for (BackendChoice choice : {BackendChoice::Curl, BackendChoice::Inet}) {
        std::unique_ptr<Backend> backend = ChooseBackend(choice);
        if (!backend) {
            continue;
        }
        for (const DemoServer::Resource& resource : DemoServer::resources()) {
            Options options;
            options.url = server.url(resource.path);
            options.timeoutMs = 5000;
            options.showExpiry = true;
            const auto start = std::chrono::steady_clock::now();
            const FetchResult result = backend->fetch(options);
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            char code[40];
            std::snprintf(code, sizeof code, "%s (%d)", CodeName(result.code),
                          static_cast<int>(result.code));
            std::printf("%-10s %-20s %-8s %-22s %8ld %7.1f ms", resource.path.c_str(),
                        resource.description.c_str(), backend->name(), code, result.size, ms);
            if (result.code == RVUtil::ERR_OK && resource.path == "/expiry") {
                std::printf("  expires %s", formatLocal(result.expiry).c_str());
            } else if (!result.message.IsEmpty()) {
                std::printf("  %s", result.message.GetString());
            }
            std::printf("\n");
            std::fflush(stdout);  // each line before any log record the next fetch writes
        }
    }
    return 0;
}

}  // namespace

}  // namespace rvfetch

int main(int argc, char** argv) {
    using namespace rvfetch;
    std::string error;
    const std::optional<Options> options = ParseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "rvfetch: %s\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        return options->demo ? demo() : fetchOne(*options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rvfetch: %s\n", e.what());
        return 1;
    }
}

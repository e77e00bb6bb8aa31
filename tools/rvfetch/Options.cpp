#include "Options.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

#include <RVUtil/BodyLimit.h>

#include "platform/Ascii.h"

namespace rvfetch {

namespace {

constexpr const char* kDescription =
    "Fetches URL (http:// or https://) with one request through the RVUtil library's read\n"
    "functions and writes the body to standard output. A status other than 200 fails and\n"
    "writes no body.\n";

constexpr const char* kFooter =
    "Exit status:\n"
    "  0   the body was fetched\n"
    "  2   bad arguments\n"
    "  3   the output file cannot be created or written\n"
    "  11  request failed (no usable response)        [ERR_REQUEST]\n"
    "  12  HTTP status other than 200, or a redirect  [ERR_HTTP_STATUS]\n"
    "      that -L does not follow\n"
    "  13  an encoded body could not be decoded       [ERR_DECOMPRESS]\n"
    "  14  the body could not be copied               [ERR_ALLOC]\n"
    "  15  the server refused with RV_Error           [ERR_SERVER_VERDICT]\n"
    "  16  the fetcher could not be initialised       [ERR_INIT]\n"
    "  19  no fetcher                                 [ERR_NO_FETCHER]\n"
    "\n"
    "Log records: the library's records go to RVUTIL_LOG_DIR, which rvfetch sets to\n"
    "${XDG_STATE_HOME:-~/.local/state}/rvfetch unless it is set already\n"
    "(PX_RVUtil_YYYY-MM-DD.log); -v also shows each of them on standard error.\n"
    "Proxies: http_proxy, https_proxy, all_proxy and no_proxy (either case); see rvfetch(1).\n";

// The longest time-out the fetchers take: 2^31 - 1 milliseconds.
constexpr double kMaxSeconds = 2147483.647;

// The usage lines and the description first, then the options; the URL is described there.
class HelpFormatter : public CLI::Formatter {
  public:
    HelpFormatter() { column_width(30); }
    std::string make_description(const CLI::App*) const override { return {}; }
    std::string make_usage(const CLI::App* app, std::string) const override {
        return "usage: rvfetch [options] URL\n       rvfetch --demo\n\n" + app->get_description();
    }
    std::string make_positionals(const CLI::App*) const override { return {}; }
};

// Values that reach the request (URL, header lines, proxy) must stay on one line: a line
// break would end the header early and start another one.
const CLI::Validator kOneLine(
    [](const std::string& value) -> std::string {
        for (const char c : value) {
            if (c == '\r' || c == '\n' || c == '\0') {
                return "a value with a line break (CR or LF) is refused";
            }
        }
        return {};
    },
    "", "one line");

// Seconds as curl takes them: a decimal number, fractions allowed, from a millisecond up to
// the longest time-out the fetchers take.
const CLI::Validator kSeconds(
    [](const std::string& value) -> std::string {
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(seconds >= 0.001 && seconds <= kMaxSeconds)) {
            return "wants seconds from 0.001 to 2147483.647 (fractions allowed), got '" + value +
                   "'";
        }
        return {};
    },
    "", "seconds");

unsigned long ToMilliseconds(double seconds) {
    return static_cast<unsigned long>(std::ceil(seconds * 1000.0));
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Splits "Name: value"; the blanks around the value are not part of it.
bool SplitHeader(const std::string& text, HeaderList& headers) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    const std::string_view value =
        RVUtil::ascii::TrimBlanks(std::string_view(text).substr(colon + 1));
    headers.emplace_back(text.substr(0, colon), std::string(value));
    return true;
}

// HOST:PORT, the port a number from 1 to 65535; the host may be an IPv6 address in brackets.
bool SplitProxy(const std::string& text, Options& o) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() ||
        colon + 6 < text.size()) {
        return false;
    }
    unsigned port = 0;
    for (const char c : std::string_view(text).substr(colon + 1)) {
        if (!RVUtil::ascii::IsDigit(c)) {
            return false;
        }
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port == 0 || port > 65535) {
        return false;
    }
    o.proxyHost = text.substr(0, colon);
    o.proxyPort = static_cast<unsigned short>(port);
    return true;
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, char** argv) {
    ParsedCommandLine parsed;
    Options& o = parsed.options;
    std::vector<std::string> headerTexts;
    std::string userAgent, referer, method, data, dataBinary, proxy, backend = "auto";
    double maxTime = 0, connectTimeout = 0;
    unsigned long timeoutMs = o.timeoutMs;
    bool compressed = false, fail = false, version = false;

    CLI::App app(kDescription, "rvfetch");
    app.formatter(std::make_shared<HelpFormatter>());
    app.footer(kFooter);
    app.set_help_flag("-h,--help", "this text");
    app.add_option("URL", o.url, "the URL to fetch")->check(kOneLine);
    app.add_option("-o,--output", o.outputFile, "write the body to FILE (-: standard output)")
        ->option_text("FILE");
    app.add_option("-H,--header", headerTexts, "add a request header (repeatable)")
        ->option_text("'NAME: VALUE'")
        ->allow_extra_args(false)
        ->check(kOneLine);
    auto* dataOption =
        app.add_option("-d,--data", data, "POST DATA as the request body")->option_text("DATA");
    auto* dataBinaryOption =
        app.add_option("--data-binary", dataBinary, "POST the bytes of FILE, or DATA")
            ->option_text("@FILE|DATA");
    dataOption->excludes(dataBinaryOption);
    app.add_option("-X,--request", method, "GET, or POST (the default with data)")
        ->option_text("METHOD")
        ->check(CLI::IsMember({"GET", "POST"}));
    app.add_option("-A,--user-agent", userAgent, "send User-Agent: TEXT")
        ->option_text("TEXT")
        ->check(kOneLine);
    app.add_option("-e,--referer", referer, "send Referer: URL")
        ->option_text("URL")
        ->check(kOneLine);
    app.add_flag("--compressed", compressed, "ask for a gzip or zstd body; the library decodes it");
    auto* maxTimeOption =
        app.add_option("-m,--max-time", maxTime, "time-out in seconds, fractions allowed")
            ->option_text("SECONDS")
            ->check(kSeconds);
    auto* timeoutOption = app.add_option("--timeout", timeoutMs,
                                         "time-out in ms (default 30000; 0: none on curl, 30 s "
                                         "connect and 60 s receive on inet)")
                              ->option_text("MS")
                              ->check(CLI::Range(0ul, 0x7FFFFFFFul));
    maxTimeOption->excludes(timeoutOption);
    app.add_option("--connect-timeout", connectTimeout,
                   "time-out for connecting (inet backend only)")
        ->option_text("SECONDS")
        ->check(kSeconds);
    app.add_option("--max-filesize", o.maxFileSize, "fail when the body exceeds BYTES")
        ->option_text("BYTES")
        ->check(CLI::Range(1ll, RVUtil::kMaxBodyLimit));
    app.add_flag("-L,--location", o.followRedirects,
                 "follow redirects (to http and https URLs only)");
    app.add_option("--max-redirs", o.maxRedirects, "follow at most N redirects (default 10)")
        ->option_text("N")
        ->check(CLI::Range(0l, 100l));
    app.add_option("-x,--proxy", proxy, "send the request through this proxy")
        ->option_text("HOST:PORT")
        ->check(kOneLine);
    app.add_option("--backend", backend, "curl, inet or auto (the default)")
        ->option_text("NAME")
        ->check(CLI::IsMember({"curl", "inet", "auto"}));
    app.add_flag("--expiry", o.showExpiry, "print the VR_Expired time on standard error");
    app.add_flag("-i,--include", o.showHeaders, "write the response's header block first");
    app.add_flag("-s,--silent", o.silent, "no progress line and no error messages");
    app.add_flag("-S,--show-error", o.showError, "error messages even with -s");
    app.add_flag("-f,--fail", fail, "always on: a status other than 200 fails");
    app.add_flag("-v,--verbose", o.verbose, "show the library's records and a summary");
    app.add_flag("--demo", o.demo, "fetch sample resources served on loopback");
    app.add_flag("-V,--version", version, "print the version and exit");

    const auto mistake = [&](std::string reason) {
        parsed.outcome = ParsedCommandLine::Mistake;
        parsed.text = std::move(reason);
        return parsed;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        parsed.outcome = ParsedCommandLine::Help;
        parsed.text = app.help();
        return parsed;
    } catch (const CLI::ParseError& e) {
        return mistake(e.what());
    }
    if (version) {
        parsed.outcome = ParsedCommandLine::Version;
        return parsed;
    }

    if (!userAgent.empty()) {
        o.headers.emplace_back("User-Agent", userAgent);
    }
    if (!referer.empty()) {
        o.headers.emplace_back("Referer", referer);
    }
    if (compressed) {
        o.headers.emplace_back("Accept-Encoding", "gzip, zstd");
    }
    for (const std::string& text : headerTexts) {
        if (!SplitHeader(text, o.headers)) {
            return mistake("-H wants 'Name: value', got '" + text + "'");
        }
    }
    if (dataOption->count() > 0) {
        o.postData = data;
    } else if (dataBinaryOption->count() > 0) {
        if (!dataBinary.empty() && dataBinary.front() == '@') {
            if (!ReadWholeFile(dataBinary.substr(1), data)) {
                return mistake("cannot read " + dataBinary.substr(1));
            }
            dataBinary = std::move(data);
        }
        o.postData = std::move(dataBinary);
    }
    if (method == "GET" && o.postData) {
        return mistake("-X GET conflicts with -d/--data-binary, which make a POST");
    }
    if (method == "POST" && !o.postData) {
        return mistake("-X POST needs a body: -d DATA or --data-binary @FILE");
    }
    if (!proxy.empty() && !SplitProxy(proxy, o)) {
        return mistake("--proxy wants HOST:PORT, got '" + proxy + "'");
    }
    o.timeoutMs = maxTimeOption->count() > 0 ? ToMilliseconds(maxTime) : timeoutMs;
    if (connectTimeout > 0) {
        o.connectTimeoutMs = ToMilliseconds(connectTimeout);
    }
    o.backend = backend == "curl"   ? BackendChoice::Curl
                : backend == "inet" ? BackendChoice::Inet
                                    : BackendChoice::Auto;
    if (o.demo && !o.url.empty()) {
        return mistake("--demo takes no URL");
    }
    if (!o.demo && o.url.empty()) {
        return mistake("no URL given");
    }
    parsed.outcome = ParsedCommandLine::Run;
    return parsed;
}

}  // namespace rvfetch

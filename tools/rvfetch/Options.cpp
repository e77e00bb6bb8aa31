#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "ExitCodes.h"
#include "RequestData.h"
#include "platform/Ascii.h"

namespace rvfetch {

namespace ascii = RVUtil::ascii;

namespace {

class Parser;
using Apply = void (*)(Parser&, const std::string& value);

// One option: its letter and name as curl spells them, the value it takes (none for a
// switch), the line --help gives it, and what it does to the options.
struct OptionEntry {
    char letter;           // 0: none
    const char* name;      // without the leading "--"
    const char* argument;  // null: a switch
    const char* help;
    Apply apply;
};

// The longest time-out the fetchers take: 2^31 - 1 milliseconds.
constexpr double kMaxSeconds = 2147483.647;

class Parser {
  public:
    explicit Parser(Options& options) : o(options) {}

    Options& o;
    std::string typed;  // the option as the person typed it, for the messages
    std::string problem;
    bool help = false;
    bool version = false;
    std::vector<RequestData::Piece> data;
    std::vector<std::string> headerLines;  // -H, in order
    std::optional<std::string> userAgent, referer, method, proxyText, proxyUser;
    bool get = false;  // -G
    bool head = false;

    void Fail(std::string what) {
        if (problem.empty()) {
            problem = std::move(what);
        }
    }

    // Seconds as curl takes them: a decimal number, fractions allowed; 0 means none.
    std::chrono::milliseconds Seconds(const std::string& value) {
        char* end = nullptr;
        errno = 0;
        const double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(seconds)) {
            Fail("expected a proper numerical parameter");
            return {};
        }
        if (seconds < 0) {
            Fail("expected a positive numerical parameter");
            return {};
        }
        if (seconds > kMaxSeconds) {
            Fail("at most 2147483.647 seconds");
            return {};
        }
        return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000.0)));
    }

    // A whole number from lowest up; with units, a size (k, M, G: 1024, 1024^2, 1024^3).
    long long Number(const std::string& value, long long lowest, bool units = false) {
        std::size_t digits = value.size();
        long long scale = 1;
        if (units && !value.empty()) {
            switch (ascii::ToLower(value.back())) {
                case 'k':
                    scale = 1LL << 10;
                    break;
                case 'm':
                    scale = 1LL << 20;
                    break;
                case 'g':
                    scale = 1LL << 30;
                    break;
                default:
                    break;
            }
            digits -= scale != 1 ? 1 : 0;
        }
        const std::string number = value.substr(0, digits);
        char* end = nullptr;
        errno = 0;
        const long long n = std::strtoll(number.c_str(), &end, 10);
        if (number.empty() || *end != '\0' || errno != 0 || n > (1LL << 53) / scale) {
            Fail("expected a proper numerical parameter");
            return lowest;
        }
        if (n < lowest) {
            Fail(lowest == 0 ? "expected a positive numerical parameter" : "is badly used here");
            return lowest;
        }
        return n * scale;
    }
};

void AddData(Parser& p, RequestData::Kind kind, const std::string& value) {
    p.data.push_back({kind, value});
}

// Values that reach the request line or a header must stay on one line.
bool OneLine(Parser& p, const std::string& value) {
    if (value.find_first_of("\r\n", 0) != std::string::npos ||
        value.find('\0') != std::string::npos) {
        p.Fail("a value with a line break (CR or LF) is refused");
        return false;
    }
    return true;
}

const std::vector<OptionEntry>& Table() {
    using K = RequestData::Kind;
    static const std::vector<OptionEntry> kTable = {
        {0, "url", "URL", "fetch URL too (repeatable, as are plain URLs)",
         [](Parser& p, const std::string& v) {
             if (OneLine(p, v)) {
                 p.o.urls.push_back(v);
             }
         }},
        {'o', "output", "FILE", "write the body to FILE (-: standard output)",
         [](Parser& p, const std::string& v) { p.o.outputs.push_back({v, false}); }},
        {'O', "remote-name", nullptr, "write the body to the file the URL names",
         [](Parser& p, const std::string&) { p.o.outputs.push_back({{}, true}); }},
        {0, "create-dirs", nullptr, "create the folders that -o names",
         [](Parser& p, const std::string&) { p.o.createDirs = true; }},
        {'D', "dump-header", "FILE", "write the response heads to FILE",
         [](Parser& p, const std::string& v) { p.o.dumpHeader = v; }},
        {'i', "include", nullptr, "write the response heads before the body",
         [](Parser& p, const std::string&) { p.o.include = true; }},
        {'I', "head", nullptr, "send a HEAD and write the response head",
         [](Parser& p, const std::string&) { p.head = true; }},
        {'X', "request", "METHOD", "GET, POST or HEAD (what the library sends)",
         [](Parser& p, const std::string& v) { p.method = v; }},
        {'H', "header", "LINE", "'Name: value', 'Name:' drops, 'Name;' empty",
         [](Parser& p, const std::string& v) { p.headerLines.push_back(v); }},
        {'A', "user-agent", "TEXT", "send User-Agent: TEXT",
         [](Parser& p, const std::string& v) { p.userAgent = v; }},
        {'e', "referer", "URL", "send Referer: URL",
         [](Parser& p, const std::string& v) { p.referer = v; }},
        {'u', "user", "USER:PASSWORD", "HTTP Basic credentials for the server",
         [](Parser& p, const std::string& v) {
             const std::size_t colon = v.find(':');
             if (colon == std::string::npos) {
                 p.Fail("rvfetch asks for no password: give USER:PASSWORD");
                 return;
             }
             p.o.credentials.emplace(v.substr(0, colon), v.substr(colon + 1));
         }},
        {'d', "data", "DATA", "POST DATA (@FILE: lines joined), joined by &",
         [](Parser& p, const std::string& v) { AddData(p, K::Text, v); }},
        {0, "data-ascii", "DATA", "the same as -d",
         [](Parser& p, const std::string& v) { AddData(p, K::Text, v); }},
        {0, "data-binary", "DATA", "POST DATA as it is (@FILE, @-: standard input)",
         [](Parser& p, const std::string& v) { AddData(p, K::Binary, v); }},
        {0, "data-raw", "DATA", "POST DATA, a leading @ included",
         [](Parser& p, const std::string& v) { AddData(p, K::Raw, v); }},
        {0, "data-urlencode", "DATA",
         "POST DATA URL-encoded (NAME=TEXT, NAME@FILE)",
         [](Parser& p, const std::string& v) { AddData(p, K::UrlEncode, v); }},
        {0, "json", "DATA", "POST DATA (@FILE, @-) as JSON",
         [](Parser& p, const std::string& v) { AddData(p, K::Json, v); }},
        {'G', "get", nullptr, "send the data in the URL's query with a GET",
         [](Parser& p, const std::string&) { p.get = true; }},
        {0, "compressed", nullptr, "ask for gzip or zstd and write the body decoded",
         [](Parser& p, const std::string&) { p.o.compressed = true; }},
        {'m', "max-time", "SECONDS", "give up after SECONDS (0: never)",
         [](Parser& p, const std::string& v) { p.o.maxTime = p.Seconds(v); }},
        {0, "connect-timeout", "SECONDS", "give up connecting after SECONDS",
         [](Parser& p, const std::string& v) { p.o.connectTimeout = p.Seconds(v); }},
        {0, "max-filesize", "BYTES", "fail on a larger body as received (k, M, G)",
         [](Parser& p, const std::string& v) {
             p.o.maxFileSize = static_cast<std::uint64_t>(p.Number(v, 0, true));
         }},
        {'L', "location", nullptr, "follow redirects",
         [](Parser& p, const std::string&) { p.o.followRedirects = true; }},
        {0, "max-redirs", "N", "at most N redirects (default 50; -1: any)",
         [](Parser& p, const std::string& v) { p.o.maxRedirects = p.Number(v, -1); }},
        {'x', "proxy", "HOST[:PORT]", "send the requests through this HTTP proxy",
         [](Parser& p, const std::string& v) {
             if (OneLine(p, v)) {
                 p.proxyText = v;
             }
         }},
        {0, "proxy-user", "USER:PASSWORD", "credentials for the -x proxy",
         [](Parser& p, const std::string& v) { p.proxyUser = v; }},
        {0, "noproxy", "LIST", "hosts reached without a proxy (names, *)",
         [](Parser& p, const std::string& v) {
             if (OneLine(p, v)) {
                 p.o.noProxy = v;
             }
         }},
        {0, "cacert", "FILE", "trust the certificates in FILE",
         [](Parser& p, const std::string& v) { p.o.caFile = v; }},
        {0, "capath", "DIR", "trust the hashed certificates in DIR",
         [](Parser& p, const std::string& v) { p.o.caPath = v; }},
        {'k', "insecure", nullptr, "check neither certificate nor name",
         [](Parser& p, const std::string&) { p.o.insecure = true; }},
        {0, "retry", "N", "try N times more after a transient failure",
         [](Parser& p, const std::string& v) { p.o.retries = static_cast<long>(p.Number(v, 0)); }},
        {0, "retry-delay", "SECONDS", "wait between tries (default 1, doubling)",
         [](Parser& p, const std::string& v) {
             p.o.retryDelay = std::chrono::seconds(p.Number(v, 0));
         }},
        {0, "retry-max-time", "SECONDS", "start no try after SECONDS",
         [](Parser& p, const std::string& v) {
             p.o.retryMaxTime = std::chrono::seconds(p.Number(v, 0));
         }},
        {0, "retry-connrefused", nullptr, "count a refused connection as transient",
         [](Parser& p, const std::string&) { p.o.retryConnRefused = true; }},
        {'f', "fail", nullptr, "fail (22) on a status of 400 or more",
         [](Parser& p, const std::string&) { p.o.fail = true; }},
        {0, "fail-with-body", nullptr, "the same, and write that body",
         [](Parser& p, const std::string&) { p.o.failWithBody = true; }},
        {'w', "write-out", "FORMAT", "write FORMAT after each transfer (@FILE)",
         [](Parser& p, const std::string& v) {
             if (!v.empty() && v.front() == '@') {
                 const std::optional<std::string> text = ReadSource(v.substr(1));
                 p.o.writeOut = text.value_or("");
                 if (!text) {
                     p.Fail("cannot read " + v.substr(1));
                 }
             } else {
                 p.o.writeOut = v;
             }
         }},
        {'s', "silent", nullptr, "no meter, no warnings, no error messages",
         [](Parser& p, const std::string&) { p.o.silent = true; }},
        {'S', "show-error", nullptr, "error messages even with -s",
         [](Parser& p, const std::string&) { p.o.showError = true; }},
        {0, "no-progress-meter", nullptr, "no progress meter",
         [](Parser& p, const std::string&) { p.o.noProgress = true; }},
        {'#', "progress-bar", nullptr, "a bar instead of the meter",
         [](Parser& p, const std::string&) { p.o.progressBar = true; }},
        {'N', "no-buffer", nullptr, "accepted: bodies are never held back",
         [](Parser&, const std::string&) {}},
        {'v', "verbose", nullptr, "the heads sent and received, the records",
         [](Parser& p, const std::string&) { p.o.verbose = true; }},
        {'4', "ipv4", nullptr, "refused: the library picks the address",
         [](Parser& p, const std::string&) {
             p.Fail("the library connects to every address a name resolves to, in turn; it "
                      "cannot keep to IPv4 or IPv6");
         }},
        {'6', "ipv6", nullptr, "refused, as -4",
         [](Parser& p, const std::string&) {
             p.Fail("the library connects to every address a name resolves to, in turn; it "
                      "cannot keep to IPv4 or IPv6");
         }},
        {0, "backend", "NAME", "curl, inet or auto (the default)",
         [](Parser& p, const std::string& v) {
             if (v == "curl") {
                 p.o.backend = BackendChoice::Curl;
             } else if (v == "inet") {
                 p.o.backend = BackendChoice::Inet;
             } else if (v == "auto") {
                 p.o.backend = BackendChoice::Auto;
             } else {
                 p.Fail("wants curl, inet or auto, got '" + v + "'");
             }
         }},
        {0, "expiry", nullptr, "print the VR_Expired time on standard error",
         [](Parser& p, const std::string&) { p.o.expiry = true; }},
        {0, "whole", nullptr, "fetch each body whole, then write it",
         [](Parser& p, const std::string&) { p.o.whole = true; }},
        {0, "demo", nullptr, "fetch sample resources served on loopback",
         [](Parser& p, const std::string&) { p.o.demo = true; }},
        {'V', "version", nullptr, "print the version and exit",
         [](Parser& p, const std::string&) { p.version = true; }},
        {'h', "help", nullptr, "this text",
         [](Parser& p, const std::string&) { p.help = true; }},
    };
    return kTable;
}

const OptionEntry* FindLong(std::string_view name) {
    for (const OptionEntry& entry : Table()) {
        if (name == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

const OptionEntry* FindLetter(char letter) {
    for (const OptionEntry& entry : Table()) {
        if (entry.letter == letter) {
            return &entry;
        }
    }
    return nullptr;
}

// "[http://][USER:PASSWORD@]HOST[:PORT][/]" as the library takes a proxy; the port is
// 1080 when none is given, as curl has it.
std::optional<std::string> ProxyUrl(Parser& p, std::string text) {
    if (text.empty()) {
        return text;  // straight to the server, whatever the environment says
    }
    const std::size_t scheme = text.find("://");
    if (scheme != std::string::npos) {
        std::string name = text.substr(0, scheme);
        for (char& c : name) {
            c = ascii::ToLower(c);
        }
        if (name != "http") {
            p.Fail("the library speaks to HTTP proxies only, not " + name + "://");
            return std::nullopt;
        }
        text.erase(0, scheme + 3);
    }
    if (!text.empty() && text.back() == '/') {
        text.pop_back();
    }
    const std::size_t at = text.rfind('@');
    std::string userInfo = at == std::string::npos ? std::string() : text.substr(0, at + 1);
    std::string hostPort = at == std::string::npos ? text : text.substr(at + 1);
    if (p.proxyUser) {
        const std::size_t colon = p.proxyUser->find(':');
        userInfo = PercentEncode(p.proxyUser->substr(0, colon), false);
        if (colon != std::string::npos) {
            userInfo += ":" + PercentEncode(p.proxyUser->substr(colon + 1), false);
        }
        userInfo += "@";
    }
    const std::size_t bracket = hostPort.rfind(']');
    const std::size_t colon = hostPort.rfind(':');
    const bool hasPort =
        colon != std::string::npos && (bracket == std::string::npos || colon > bracket);
    if (hostPort.empty() || hostPort.front() == ':' || hostPort.find('/') != std::string::npos) {
        p.Fail("wants [http://]HOST[:PORT], got '" + text + "'");
        return std::nullopt;
    }
    return "http://" + userInfo + hostPort + (hasPort ? "" : ":1080");
}

// What the switches and values add up to, once all are read.
void Finish(Parser& p) {
    Options& o = p.o;
    for (std::string& url : o.urls) {
        // A URL without a scheme is an http one, as curl guesses.
        if (url.find("://") == std::string::npos) {
            url.insert(0, "http://");
        }
    }
    if (o.outputs.size() > o.urls.size()) {
        o.warnings.push_back("Got more output options than URLs");
    }
    if (p.head) {
        o.method = Method::Head;
        o.include = true;
    }
    RequestData data = ComposeRequestData(p.data, o.warnings);
    if (p.get && data.body) {
        for (std::string& url : o.urls) {
            url += (url.find('?') == std::string::npos ? "?" : "&") + *data.body;
        }
        data.body.reset();
    }
    // Data, even none (-d @empty-file), is typed as a form; -X POST alone is not typed.
    const bool hasData = data.body.has_value();
    if (data.body) {
        if (p.head) {
            p.typed = "-I";
            return p.Fail("-I sends a HEAD, which carries no data (-G puts it in the query)");
        }
        o.method = Method::Post;
        o.body = std::move(data.body);
    }
    if (p.method) {
        p.typed = "-X";
        if (*p.method == "POST") {
            o.method = Method::Post;
            if (!o.body) {
                o.body.emplace();
            }
        } else if (*p.method == "GET" && o.method != Method::Post) {
            o.method = Method::Get;
        } else if (*p.method == "HEAD" && o.method != Method::Post) {
            o.method = Method::Head;
            o.warnings.push_back(
                "Setting custom HTTP method to HEAD with -X/--request may not work the way you "
                "want. Consider using -I/--head instead.");
        } else if (*p.method == "GET" || *p.method == "HEAD") {
            return p.Fail("the library sends no body with a " + *p.method +
                          " (-G puts the data in the query)");
        } else {
            return p.Fail("the library sends GET, POST and HEAD only, not '" + *p.method + "'");
        }
    }
    // The headers rvfetch makes for the options come first; -H replaces or drops them.
    if (p.userAgent) {
        o.headers.emplace_back("User-Agent", *p.userAgent);
    }
    if (p.referer) {
        o.headers.emplace_back("Referer", *p.referer);
    }
    if (o.compressed) {
        o.headers.emplace_back("Accept-Encoding", "gzip, zstd");
    } else {
        // The body is written as sent, so nothing encoded is asked for.
        o.removedHeaders.push_back("Accept-Encoding");
    }
    if (o.method == Method::Post && !hasData) {
        o.removedHeaders.push_back("Content-Type");
    } else if (hasData && !data.json) {
        o.headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
    }
    if (data.json) {
        o.headers.emplace_back("Content-Type", "application/json");
        o.headers.emplace_back("Accept", "application/json");
    }
    std::string why;
    if (!ApplyHeaderLines(p.headerLines, o.headers, o.removedHeaders, why)) {
        p.typed = "-H";
        return p.Fail(why);
    }
    for (const auto& [name, value] : o.headers) {
        if (!OneLine(p, value)) {
            p.typed = "-H";
            return;
        }
    }
    if (p.proxyText) {
        p.typed = "-x";
        o.proxy = ProxyUrl(p, *p.proxyText);
        o.proxyGiven = true;
    } else if (p.proxyUser) {
        p.typed = "--proxy-user";
        return p.Fail("needs a proxy named with -x");
    }
}

void Parse(Parser& p, int argc, char** argv) {
    const auto take = [&](const OptionEntry& entry, int& i, std::optional<std::string> attached) {
        if (entry.argument == nullptr) {
            entry.apply(p, {});
        } else if (attached) {
            entry.apply(p, *attached);
        } else if (i + 1 < argc) {
            entry.apply(p, argv[++i]);
        } else {
            p.Fail("requires parameter");
        }
    };
    for (int i = 1; i < argc && p.problem.empty(); ++i) {
        const std::string_view arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-') {
            p.typed = "URL";
            if (OneLine(p, std::string(arg))) {
                p.o.urls.emplace_back(arg);
            }
        } else if (arg[1] == '-') {
            // "--name value", and "--name=value" as a convenience curl does not offer.
            const std::size_t equals = arg.find('=');
            const OptionEntry* entry = FindLong(arg.substr(2, equals - 2));
            p.typed = std::string(arg.substr(0, equals));
            if (entry == nullptr || (equals != std::string_view::npos && !entry->argument)) {
                p.typed = arg;
                return p.Fail("is unknown");
            }
            take(*entry, i,
                 equals == std::string_view::npos
                     ? std::nullopt
                     : std::optional<std::string>(arg.substr(equals + 1)));
        } else {
            // Letters run together ("-sSL"); one that takes a value takes the rest, or the
            // next argument.
            for (std::size_t k = 1; k < arg.size() && p.problem.empty(); ++k) {
                const OptionEntry* entry = FindLetter(arg[k]);
                p.typed = std::string("-") + arg[k];
                if (entry == nullptr) {
                    p.typed = arg;
                    return p.Fail("is unknown");
                }
                if (entry->argument != nullptr && k + 1 < arg.size()) {
                    take(*entry, i, std::string(arg.substr(k + 1)));
                    break;
                }
                take(*entry, i, std::nullopt);
            }
        }
    }
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, char** argv) {
    ParsedCommandLine parsed;
    Parser p(parsed.options);
    Parse(p, argc, argv);
    if (p.problem.empty() && !p.help && !p.version) {
        p.typed.clear();
        Finish(p);
    }
    const Options& o = parsed.options;
    if (p.problem.empty() && !p.help && !p.version) {
        if (o.demo && !o.urls.empty()) {
            p.typed = "--demo";
            p.Fail("takes no URL");
        } else if (!o.demo && o.urls.empty()) {
            p.typed.clear();
            p.Fail("no URL specified");
        }
    }
    if (!p.problem.empty()) {
        parsed.outcome = ParsedCommandLine::Mistake;
        parsed.option = p.typed;
        parsed.text = p.problem;
    } else if (p.help) {
        parsed.outcome = ParsedCommandLine::Help;
        parsed.text = HelpText();
    } else {
        parsed.outcome = p.version ? ParsedCommandLine::Version : ParsedCommandLine::Run;
    }
    return parsed;
}

std::string HelpText() {
    std::string text =
        "usage: rvfetch [options] URL...\n"
        "       rvfetch --demo\n"
        "\n"
        "Fetches each URL (http:// or https://) through the RVUtil library and writes its\n"
        "body to standard output as it arrives. Options mean what they mean to curl; what\n"
        "rvfetch cannot do as curl does is refused or said on standard error.\n"
        "\n"
        "Options:\n";
    for (const OptionEntry& entry : Table()) {
        std::string names = entry.letter != 0 ? std::string("  -") + entry.letter + ", " : "      ";
        names += std::string("--") + entry.name;
        if (entry.argument != nullptr) {
            names += std::string(" ") + entry.argument;
        }
        names.resize(std::max<std::size_t>(names.size() + 1, 32), ' ');
        text += names + entry.help + "\n";
    }
    text += "\nExit status (curl's numbers; 100 and up are rvfetch's own):\n";
    for (const ExitCodeMeaning& exit : ExitCodeMeanings()) {
        char line[16];
        std::snprintf(line, sizeof line, "  %-5d", exit.code);
        text += line + std::string(exit.meaning) + "\n";
    }
    text +=
        "  other  on the curl backend, libcurl's code for the failure, as curl's\n"
        "\n"
        "Log records: the library's records go to RVUTIL_LOG_DIR, which rvfetch sets to\n"
        "${XDG_STATE_HOME:-~/.local/state}/rvfetch unless it is set already; without a\n"
        "usable folder they are dropped. -v also shows them on standard error.\n"
        "Proxies: http_proxy, https_proxy, all_proxy and no_proxy (either case).\n"
        "Where rvfetch differs from curl, and why: rvfetch(1).\n";
    return text;
}

}  // namespace rvfetch

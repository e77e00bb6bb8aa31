#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rvfetch {

enum class BackendChoice { Curl, Inet, Auto };
enum class Method { Get, Post, Head };

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// Where one URL's body goes: -o FILE ("-": standard output) or -O (the URL's file name).
struct OutputName {
    std::string path;
    bool remote = false;
};

struct Options {
    std::vector<std::string> urls;          // in order, from the command line and --url
    std::vector<OutputName> outputs;        // -o and -O in order: the n-th goes with the n-th URL
    bool createDirs = false;                // --create-dirs
    std::optional<std::string> dumpHeader;  // -D FILE
    bool include = false;                   // -i: the heads before the body
    Method method = Method::Get;
    std::optional<std::string> body;          // what a POST sends (-d and the like, joined)
    HeaderList headers;                       // -H, -A, -e, --compressed, --json, in effect
    std::vector<std::string> removedHeaders;  // -H 'Name:'
    std::optional<std::pair<std::string, std::string>> credentials;  // -u
    bool compressed = false;
    std::chrono::milliseconds maxTime{0};         // -m; 0: no limit
    std::chrono::milliseconds connectTimeout{0};  // --connect-timeout; 0: none
    std::uint64_t maxFileSize = 0;                // --max-filesize; 0: no limit
    bool followRedirects = false;                 // -L
    long maxRedirects = 50;                       // --max-redirs; -1: no limit
    std::optional<std::string> proxy;             // -x as "http://[user:pw@]host:port", or ""
    bool proxyGiven = false;                      // -x was given
    std::optional<std::string> noProxy;           // --noproxy
    std::string caFile, caPath;                   // --cacert, --capath
    bool insecure = false;                        // -k
    std::optional<std::string> writeOut;          // -w, @FILE read already
    long retries = 0;                             // --retry
    std::chrono::milliseconds retryDelay{0};      // --retry-delay; 0: doubling from 1 s
    std::chrono::milliseconds retryMaxTime{0};    // --retry-max-time; 0: no limit
    bool retryConnRefused = false;
    bool fail = false;          // -f
    bool failWithBody = false;  // --fail-with-body
    bool silent = false;        // -s
    bool showError = false;     // -S
    bool noProgress = false;    // --no-progress-meter
    bool progressBar = false;   // -#
    bool verbose = false;       // -v
    bool expiry = false;        // --expiry
    bool whole = false;         // --whole
    bool demo = false;
    BackendChoice backend = BackendChoice::Auto;
    // Said on standard error before the first request, unless -s: what the command line
    // asks that rvfetch does another way or not at all.
    std::vector<std::string> warnings;
};

// What the command line asks for: the transfers (or the demo), the help or version text,
// or nothing because it is wrong.
struct ParsedCommandLine {
    enum Outcome { Run, Help, Version, Mistake } outcome = Mistake;
    Options options;
    // The help text; for a mistake the option as typed and what is wrong with it.
    std::string text;
    std::string option;
};

ParsedCommandLine ParseCommandLine(int argc, char** argv);

// The option table as --help prints it; the manual page describes the same options.
std::string HelpText();

}  // namespace rvfetch

#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rvfetch {

enum class BackendChoice { Curl, Inet, Auto };

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct Options {
    std::string url;
    std::string outputFile;               // -o; empty or "-": standard output
    HeaderList headers;                   // -H, -A, -e and --compressed, in that order
    std::optional<std::string> postData;  // -d / --data-binary
    unsigned long timeoutMs = 30000;      // --timeout, or -m in milliseconds
    unsigned long connectTimeoutMs = 0;   // --connect-timeout; 0: none asked for
    long long maxFileSize = 0;            // --max-filesize; 0: the library's limit
    bool followRedirects = false;         // -L
    long maxRedirects = 10;               // --max-redirs
    std::string proxyHost;                // --proxy HOST:PORT; empty: none
    unsigned short proxyPort = 0;
    bool showExpiry = false;
    bool showHeaders = false;
    bool verbose = false;
    bool silent = false;     // -s: no progress line and no error messages
    bool showError = false;  // -S: error messages even with -s
    bool demo = false;
    BackendChoice backend = BackendChoice::Auto;
};

// What the command line asks for: a fetch (or the demo), the help or version text, or
// nothing because it is wrong.
struct ParsedCommandLine {
    enum Outcome { Run, Help, Version, Mistake } outcome = Mistake;
    Options options;
    std::string text;  // the help text, or for a mistake the reason in one line
};

ParsedCommandLine ParseCommandLine(int argc, char** argv);

}  // namespace rvfetch

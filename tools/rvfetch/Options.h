#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rvfetch {

enum class BackendChoice { Curl, Inet, Auto };

struct Options {
    std::string url;
    std::string outputFile;                                    // -o; empty: standard output
    std::vector<std::pair<std::string, std::string>> headers;  // -H, in order
    std::optional<std::string> postData;                       // -d / --data-binary
    unsigned long timeoutMs = 30000;
    std::string proxy;  // --proxy HOST:PORT
    bool showExpiry = false;
    bool showHeaders = false;
    bool verbose = false;
    bool demo = false;
    bool help = false;
    BackendChoice backend = BackendChoice::Auto;
};

// Parses the command line; on a mistake returns nothing and sets error to a one-line reason.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

extern const char* const kUsage;

}  // namespace rvfetch

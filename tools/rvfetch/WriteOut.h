#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rvfetch {

// What -w can tell about one finished transfer.
struct TransferFacts {
    int status = 0;  // the last answer's; 0 without one
    std::string urlGiven;
    std::string urlEffective;  // the last URL asked for
    std::string method;
    std::vector<std::pair<std::string, std::string>> headers;  // the last answer's
    std::string redirectUrl;  // a redirect's target that was not followed
    std::uint64_t sizeDownload = 0;
    std::uint64_t sizeHeader = 0;
    std::uint64_t sizeUpload = 0;
    double seconds = 0;
    long redirects = 0;
    int exitCode = 0;
    std::string errorWords;
    std::string outputName;  // the file written, empty for standard output
};

// Expands a -w format as curl does: %{name} variables, %header{name}, %% and the escapes
// \n, \r and \t. The text goes to standard output unless %{stderr} switches it there
// (%{stdout} switches back); each stretch is handed to write with the stream it is for
// (1 or 2). A variable rvfetch does not know is told on standard error, as curl tells it.
void WriteOut(std::string_view format, const TransferFacts& facts,
              void (*write)(int stream, std::string_view text));

}  // namespace rvfetch

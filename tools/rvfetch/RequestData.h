#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Options.h"

namespace rvfetch {

// What a request sends besides its URL, from the options as curl reads them.
struct RequestData {
    enum class Kind {
        Text,       // -d: @FILE is read without its line breaks
        Binary,     // --data-binary: @FILE as it is
        Raw,        // --data-raw: no @FILE
        UrlEncode,  // --data-urlencode
        Json,       // --json: @FILE as it is, joined to the others without a separator
    };
    struct Piece {
        Kind kind;
        std::string value;
    };

    std::optional<std::string> body;  // none without data options
    bool json = false;
};

// The pieces in order, each read or encoded as its option says and joined with '&' (a
// --json piece without one). A file that cannot be read adds nothing and a warning, as
// curl has it.
RequestData ComposeRequestData(const std::vector<RequestData::Piece>& pieces,
                               std::vector<std::string>& warnings);

// The bytes of a file, or of standard input for "-" (read once; later reads give nothing).
std::optional<std::string> ReadSource(const std::string& path);

// Letters, digits and -._~ as they are, every other byte as %XX; a space as '+' when
// plusForSpace (form data, as curl writes it).
std::string PercentEncode(std::string_view text, bool plusForSpace);

// Applies -H lines to the headers rvfetch made: "Name: value" replaces a made header of
// that name (letter case ignored) or adds one, "Name:" drops it (and the fetcher's own),
// "Name;" sends it empty, "@FILE" reads such lines from FILE. False with the reason for a
// line that is none of these.
bool ApplyHeaderLines(const std::vector<std::string>& lines, HeaderList& headers,
                      std::vector<std::string>& removed, std::string& why);

}  // namespace rvfetch

#include "Options.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>

namespace rvfetch {

const char* const kUsage =
    "usage: rvfetch [options] URL\n"
    "       rvfetch --demo\n"
    "\n"
    "Fetches URL with one request and writes the body to standard output.\n"
    "\n"
    "options:\n"
    "  -o FILE               write the body to FILE\n"
    "  -H 'Name: value'      add a request header (repeatable)\n"
    "  -d DATA               POST DATA as the request body\n"
    "  --data-binary @FILE   POST the bytes of FILE (or --data-binary DATA)\n"
    "  --timeout MS          time-out in milliseconds (default 30000; 0: none)\n"
    "  --proxy HOST:PORT     send the request through this HTTP proxy\n"
    "  --expiry              print the response's VR_Expired time on standard error\n"
    "  -i                    print the status and the response headers before the body\n"
    "  --backend NAME        curl, inet or auto (default: auto asks the probe)\n"
    "  -v                    print the library's log records and a summary on standard error\n"
    "  --demo                serve sample resources on loopback and fetch each through\n"
    "                        every backend\n"
    "  -h, --help            this text\n"
    "\n"
    "exit status:\n"
    "  0   the body was fetched\n"
    "  2   bad arguments\n"
    "  3   the body could not be written\n"
    "  11  request failed (no usable response)        [ERR_REQUEST]\n"
    "  12  HTTP status other than 200                 [ERR_HTTP_STATUS]\n"
    "  13  an encoded body could not be decoded       [ERR_DECOMPRESS]\n"
    "  14  the body could not be copied               [ERR_ALLOC]\n"
    "  15  the server refused with RV_Error           [ERR_SERVER_VERDICT]\n"
    "  16  the fetcher could not be initialised       [ERR_INIT]\n"
    "  19  no fetcher                                 [ERR_NO_FETCHER]\n";

namespace {

bool readFile(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options options;
    const auto fail = [&](std::string reason) -> std::optional<Options> {
        error = std::move(reason);
        return std::nullopt;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "-i") {
            options.showHeaders = true;
        } else if (arg == "-v") {
            options.verbose = true;
        } else if (arg == "--expiry") {
            options.showExpiry = true;
        } else if (arg == "-o" || arg == "-H" || arg == "-d" || arg == "--data-binary" ||
                   arg == "--timeout" || arg == "--proxy" || arg == "--backend") {
            const char* v = value();
            if (v == nullptr) {
                return fail(std::string(arg) + " needs a value");
            }
            const std::string_view text = v;
            if (arg == "-o") {
                options.outputFile = v;
            } else if (arg == "-H") {
                const std::size_t colon = text.find(':');
                if (colon == std::string_view::npos || colon == 0) {
                    return fail("-H wants 'Name: value', got '" + std::string(text) + "'");
                }
                std::string_view val = text.substr(colon + 1);
                while (!val.empty() && val.front() == ' ') {
                    val.remove_prefix(1);
                }
                options.headers.emplace_back(std::string(text.substr(0, colon)), std::string(val));
            } else if (arg == "-d") {
                options.postData = std::string(text);
            } else if (arg == "--data-binary") {
                std::string data(text);
                if (!text.empty() && text.front() == '@' &&
                    !readFile(std::string(text.substr(1)), data)) {
                    return fail("cannot read " + std::string(text.substr(1)));
                }
                options.postData = std::move(data);
            } else if (arg == "--timeout") {
                char* end = nullptr;
                errno = 0;
                const unsigned long ms = std::strtoul(v, &end, 10);
                if (text.empty() || *end != '\0' || errno != 0 || text.front() == '-' ||
                    ms > 0x7FFFFFFFul) {
                    return fail("--timeout wants milliseconds, got '" + std::string(text) + "'");
                }
                options.timeoutMs = ms;
            } else if (arg == "--proxy") {
                const std::size_t colon = text.rfind(':');
                if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) {
                    return fail("--proxy wants HOST:PORT, got '" + std::string(text) + "'");
                }
                options.proxy = text;
            } else if (text == "curl") {
                options.backend = BackendChoice::Curl;
            } else if (text == "inet") {
                options.backend = BackendChoice::Inet;
            } else if (text == "auto") {
                options.backend = BackendChoice::Auto;
            } else {
                return fail("--backend wants curl, inet or auto, got '" + std::string(text) + "'");
            }
        } else if (!arg.empty() && arg.front() == '-') {
            return fail("unknown option " + std::string(arg));
        } else if (options.url.empty()) {
            options.url = arg;
        } else {
            return fail("more than one URL");
        }
    }
    if (!options.help && !options.demo && options.url.empty()) {
        return fail("no URL given");
    }
    return options;
}

}  // namespace rvfetch

#include "WriteOut.h"

#include <cstdio>
#include <optional>

#include "platform/Ascii.h"

namespace rvfetch {

namespace {

std::string Number(std::uint64_t n) {
    return std::to_string(n);
}

// The value of a variable, or nothing for one rvfetch does not know.
std::optional<std::string> Variable(std::string_view name, const TransferFacts& f) {
    char text[32];
    if (name == "http_code" || name == "response_code") {
        std::snprintf(text, sizeof text, "%03d", f.status);
        return text;
    }
    if (name == "time_total") {
        std::snprintf(text, sizeof text, "%.6f", f.seconds);
        return text;
    }
    if (name == "speed_download") {
        return Number(f.seconds > 0 ? static_cast<std::uint64_t>(
                                          static_cast<double>(f.sizeDownload) / f.seconds)
                                    : f.sizeDownload);
    }
    if (name == "content_type") {
        for (const auto& [header, value] : f.headers) {
            if (RVUtil::ascii::EqualsNoCase(header, "Content-Type")) {
                return value;
            }
        }
        return std::string();
    }
    const std::pair<std::string_view, std::string> plain[] = {
        {"size_download", Number(f.sizeDownload)},
        {"size_header", Number(f.sizeHeader)},
        {"size_upload", Number(f.sizeUpload)},
        {"url", f.urlGiven},
        {"url_effective", f.urlEffective},
        {"redirect_url", f.redirectUrl},
        {"num_redirects", std::to_string(f.redirects)},
        {"num_headers", Number(f.headers.size())},
        {"method", f.method},
        {"exitcode", std::to_string(f.exitCode)},
        {"errormsg", f.errorWords},
        {"filename_effective", f.outputName},
    };
    for (const auto& [known, value] : plain) {
        if (name == known) {
            return value;
        }
    }
    return std::nullopt;
}

std::string HeaderValues(std::string_view name, const TransferFacts& f) {
    std::string values;
    for (const auto& [header, value] : f.headers) {
        if (RVUtil::ascii::EqualsNoCase(header, name)) {
            values += (values.empty() ? "" : ", ") + value;
        }
    }
    return values;
}

}  // namespace

void WriteOut(std::string_view format, const TransferFacts& facts,
              void (*write)(int stream, std::string_view text)) {
    int stream = 1;
    std::string pending;
    const auto flush = [&] {
        if (!pending.empty()) {
            write(stream, pending);
            pending.clear();
        }
    };
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        const std::string_view rest = format.substr(i);
        if (c == '\\' && i + 1 < format.size() &&
            (format[i + 1] == 'n' || format[i + 1] == 'r' || format[i + 1] == 't')) {
            pending += format[i + 1] == 'n' ? '\n' : format[i + 1] == 'r' ? '\r' : '\t';
            ++i;
        } else if (rest.substr(0, 2) == "%%") {
            pending += '%';
            ++i;
        } else if (c == '%' && (rest.substr(0, 2) == "%{" || rest.substr(0, 8) == "%header{") &&
                   rest.find('}') != std::string_view::npos) {
            const bool header = rest[1] == 'h';
            const std::size_t open = header ? 8 : 2;
            const std::size_t close = rest.find('}');
            const std::string_view name = rest.substr(open, close - open);
            i += close;
            if (header) {
                pending += HeaderValues(name, facts);
            } else if (name == "stdout" || name == "stderr") {
                flush();
                stream = name == "stdout" ? 1 : 2;
            } else if (const std::optional<std::string> value = Variable(name, facts)) {
                pending += *value;
            } else {
                flush();
                write(2, "rvfetch: unknown --write-out variable: '" + std::string(name) + "'\n");
            }
        } else {
            pending += c;
        }
    }
    flush();
}

}  // namespace rvfetch

#include "transport/RequestHead.h"

#include <algorithm>

#include "platform/Ascii.h"

namespace RVUtil::transport {
namespace {

// True when line starts with name followed by a colon, letter case ignored.
bool NamesHeader(std::string_view line, std::string_view name) {
    return line.size() > name.size() && line[name.size()] == ':' &&
           ascii::EqualsNoCase(line.substr(0, name.size()), name);
}

bool CallerNames(std::string_view lines, std::string_view name) {
    while (!lines.empty()) {
        const std::size_t end = lines.find("\r\n");
        if (NamesHeader(lines.substr(0, end), name)) {
            return true;
        }
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 2);
    }
    return false;
}

void AppendLine(std::string& out, std::string_view name, std::string_view value) {
    out.append(name).append(": ").append(value).append("\r\n");
}

}  // namespace

std::string BuildRequestHead(const RequestHeadFields& f) {
    std::string out;
    out.reserve(128 + f.target.size() + f.extraLines.size());
    out.append(f.verb).append(" ").append(f.target).append(" HTTP/1.1\r\n");
    if (!CallerNames(f.extraLines, "Host")) {
        AppendLine(out, "Host", f.host);
    }
    if (!f.authorization.empty() && !CallerNames(f.extraLines, "Authorization")) {
        AppendLine(out, "Authorization", f.authorization);
    }
    if (!f.proxyAuthorization.empty() && !CallerNames(f.extraLines, "Proxy-Authorization")) {
        AppendLine(out, "Proxy-Authorization", f.proxyAuthorization);
    }
    std::string_view lines = f.extraLines;
    while (!lines.empty()) {
        const std::size_t end = lines.find("\r\n");
        const std::string_view line = lines.substr(0, end);
        if (!NamesHeader(line, "Content-Length") && !NamesHeader(line, "Transfer-Encoding")) {
            out.append(line).append("\r\n");
        }
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 2);
    }
    if (f.contentLength.has_value()) {
        AppendLine(out, "Content-Length", std::to_string(*f.contentLength));
    }
    if (!f.keepConnection) {
        AppendLine(out, "Connection", "close");
    }
    out.append("\r\n");
    return out;
}

std::string BasicCredentials(std::string_view user, std::string_view password) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string plain;
    plain.append(user).append(":").append(password);
    std::string out = "Basic ";
    for (std::size_t i = 0; i < plain.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, plain.size() - i);
        unsigned v = static_cast<unsigned char>(plain[i]) << 16;
        if (n > 1) {
            v |= static_cast<unsigned char>(plain[i + 1]) << 8;
        }
        if (n > 2) {
            v |= static_cast<unsigned char>(plain[i + 2]);
        }
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[v & 63] : '=';
    }
    return out;
}

std::string RequestTargetOf(std::string_view path) {
    path = path.substr(0, path.find('#'));
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out.empty() ? std::string("/") : out;
}

void AppendHeaderLine(std::string& lines, std::string_view line) {
    lines.append(line);
    if (line.size() < 2 || line.substr(line.size() - 2) != "\r\n") {
        lines.append("\r\n");
    }
}

}  // namespace RVUtil::transport

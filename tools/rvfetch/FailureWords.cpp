#include "FailureWords.h"

#include <cstdlib>
#include <optional>
#include <string_view>

namespace rvfetch {

namespace {

enum class Family { Curl, Inet };

struct Cause {
    Family family;
    int code;
    const char* words;
    bool timeout = false;  // "after <n> ms" follows when a time-out was given
};

// The one table of the codes the fetchers write into their records.
constexpr Cause kCauses[] = {
    {Family::Curl, 1, "unsupported scheme: only http and https are fetched"},
    {Family::Curl, 5, "proxy name not resolved"},
    {Family::Curl, 6, "name not resolved"},
    {Family::Curl, 7, "could not connect (connection refused or host unreachable)"},
    {Family::Curl, 18, "body cut short: the connection closed before its end"},
    {Family::Curl, 23, "body refused while arriving (over the body limit, see --max-filesize)"},
    {Family::Curl, 28, "timed out", true},
    {Family::Curl, 35, "TLS handshake failed"},
    {Family::Curl, 52, "empty reply: the server closed without answering"},
    {Family::Curl, 56, "receive failure (connection reset, or the proxy refused the tunnel)"},
    {Family::Curl, 60, "TLS certificate not trusted"},
    {Family::Curl, 63, "declared body size over the limit (see --max-filesize)"},
    {Family::Curl, 97, "proxy handshake failed"},
    {Family::Inet, 12002, "timed out", true},
    {Family::Inet, 12007, "name not resolved"},
    {Family::Inet, 12029, "could not connect (connection refused, or the proxy refused)"},
    {Family::Inet, 12030, "connection aborted"},
    {Family::Inet, 12152, "invalid response from the server"},
    {Family::Inet, 12175, "TLS failure (certificate not trusted, or the handshake failed)"},
    {Family::Inet, 87, "bad request body"},
};

struct ErrorRecord {
    Family family;
    int code;
};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::optional<ErrorRecord> ReadErrorRecord(std::string_view text) {
    const std::pair<std::string_view, Family> kinds[] = {
        {record::kCurlSendError, Family::Curl}, {record::kCurlPostSendError, Family::Curl},
        {record::kHttpSendError, Family::Inet}, {record::kHttpPostSendError, Family::Inet},
        {record::kHttpReadError, Family::Inet},
    };
    for (const auto& [prefix, family] : kinds) {
        if (StartsWith(text, prefix)) {
            return ErrorRecord{family, std::atoi(std::string(text.substr(prefix.size())).c_str())};
        }
    }
    return std::nullopt;
}

std::string Words(const ErrorRecord& error, unsigned long timeoutMs) {
    std::string words;
    for (const Cause& cause : kCauses) {
        if (cause.family == error.family && cause.code == error.code) {
            words = cause.words;
            if (cause.timeout && timeoutMs != 0) {
                words += " after " + std::to_string(timeoutMs) + " ms";
            }
        }
    }
    if (words.empty()) {
        words = "request failed";
    }
    return words + (error.family == Family::Curl ? " (curl code " : " (error ") +
           std::to_string(error.code) + ")";
}

}  // namespace

std::string DescribeFailure(const std::vector<LogRecord>& records, const std::string& statusText,
                            unsigned long timeoutMs) {
    std::optional<ErrorRecord> error;
    std::string detail;
    for (const LogRecord& r : records) {
        const std::string_view text = r.text;
        if (StartsWith(text, record::kBodyLimit)) {
            // "Response body over the limit of <n> bytes, Url=<url>": the words before the URL
            return std::string(text.substr(record::kBodyLimit.size(),
                                           text.find(", Url=") - record::kBodyLimit.size())) +
                   " (see --max-filesize)";
        }
        if (StartsWith(text, record::kHeaderRefused)) {
            return r.text;
        }
        if (StartsWith(text, record::kCurlDetail)) {
            detail = text.substr(record::kCurlDetail.size());
        } else if (StartsWith(text, record::kHttpDetail)) {
            detail = text.substr(record::kHttpDetail.size());
        } else if (!error) {
            error = ReadErrorRecord(text);
        }
    }
    if (error) {
        return Words(*error, timeoutMs) + (detail.empty() ? "" : ": " + detail);
    }
    if (!statusText.empty()) {
        return "HTTP status " + statusText;
    }
    return detail;
}

}  // namespace rvfetch

#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <RVUtil/LogObserver.h>

namespace rvfetch {

// The beginnings of the library's records that rvfetch reads.
namespace record {
constexpr std::string_view kCurlSendError = "[Curl Send Error]ErrorCode=";
constexpr std::string_view kCurlPostSendError = "[Curl Post Send Error]ErrorCode=";
constexpr std::string_view kCurlDetail = "[Curl Error Detail]";
constexpr std::string_view kHttpSendError = "[Http Send Error]ErrorCode=";
constexpr std::string_view kHttpPostSendError = "[Http Post Send Error]ErrorCode=";
constexpr std::string_view kHttpReadError = "[Http Read Error]ErrorCode=";
constexpr std::string_view kHttpDetail = "[Http Error Detail]";
constexpr std::string_view kBodyLimit = "[Body Limit]";
constexpr std::string_view kHeaderRefused = "Request header refused (";
}  // namespace record

struct LogRecord {
    int level = 0;
    std::string text;
};

// Watches the library's log for the whole run, whichever backend writes and wherever the
// log itself goes: keeps every record, so that a failure can be told in words, and with
// echo on shows each one on standard error as it arrives.
class RecordTrail : public RVUtil::IRVLogObserver {
  public:
    explicit RecordTrail(bool echo);
    ~RecordTrail() override;
    RecordTrail(const RecordTrail&) = delete;
    RecordTrail& operator=(const RecordTrail&) = delete;

    void OnLogRecord(int level, const char* text) override;

    // The number of records so far: what a later Since(mark) starts after.
    std::size_t Mark() const;
    std::vector<LogRecord> Since(std::size_t mark) const;
    // The first record since mark that begins with prefix, or null.
    std::optional<LogRecord> FindSince(std::size_t mark, std::string_view prefix) const;

  private:
    bool m_echo;
    mutable std::mutex m_mutex;
    std::vector<LogRecord> m_records;
};

}  // namespace rvfetch

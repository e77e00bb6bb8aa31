#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "log/PXLog.h"

namespace rvtest {

struct LogRecord {
    int level;
    std::string text;
};

// Collects every record a logger writes while the capture lives.
class LogCapture {
  public:
    explicit LogCapture(RVUtil::log::CPXLog& log = RVUtil::LogChannel())
        : m_log(log), m_sink(std::make_shared<Sink>()) {
        m_log.AttachSink(m_sink);
    }
    ~LogCapture() { m_log.DetachSink(m_sink); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogRecord> Records() const {
        std::lock_guard<std::mutex> hold(m_sink->lock);
        return m_sink->records;
    }

    bool Contains(int level, std::string_view text) const {
        const auto records = Records();
        return std::any_of(records.begin(), records.end(),
                           [&](const LogRecord& r) { return r.level == level && r.text == text; });
    }

  private:
    struct Sink : RVUtil::log::CPXLogSink {
        void OnRecord(int level, std::string_view text) override {
            std::lock_guard<std::mutex> hold(lock);
            records.push_back({level, std::string(text)});
        }
        mutable std::mutex lock;
        std::vector<LogRecord> records;
    };

    RVUtil::log::CPXLog& m_log;
    std::shared_ptr<Sink> m_sink;
};

}  // namespace rvtest

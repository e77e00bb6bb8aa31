#include "RecordTrail.h"

#include <cstdio>

namespace rvfetch {

RecordTrail::RecordTrail(bool echo) : m_echo(echo) {
    RVUtil::RVUtil_gfnAddLogObserver(this);
}

RecordTrail::~RecordTrail() {
    RVUtil::RVUtil_gfnRemoveLogObserver(this);
}

void RecordTrail::OnLogRecord(int level, const char* text) {
    std::lock_guard<std::mutex> hold(m_mutex);
    try {
        m_records.push_back(LogRecord{level, text});
    } catch (...) {
        // a record that cannot be kept is only missing from the failure's words
    }
    if (m_echo) {
        std::fprintf(stderr, "rvfetch: log (level %d): %s\n", level, text);
    }
}

std::size_t RecordTrail::Mark() const {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_records.size();
}

std::vector<LogRecord> RecordTrail::Since(std::size_t mark) const {
    std::lock_guard<std::mutex> hold(m_mutex);
    if (mark >= m_records.size()) {
        return {};
    }
    return {m_records.begin() + static_cast<std::ptrdiff_t>(mark), m_records.end()};
}

std::optional<LogRecord> RecordTrail::FindSince(std::size_t mark, std::string_view prefix) const {
    for (LogRecord& record : Since(mark)) {
        if (std::string_view(record.text).substr(0, prefix.size()) == prefix) {
            return std::move(record);
        }
    }
    return std::nullopt;
}

}  // namespace rvfetch

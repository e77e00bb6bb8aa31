#pragma once

#include <string>

#include <RVUtil/LogObserver.h>

namespace rvfetch {

// Where the library's records go for this run, chosen before the backend probe: when
// RVUTIL_LOG_DIR is set, where the library sends them for it (the folder it names, or
// standard error when it is empty); otherwise rvfetch's state folder,
// $XDG_STATE_HOME/rvfetch or ~/.local/state/rvfetch, made below a state or home folder that
// exists (never from the root up) and only when it can be written. Without one the records
// go nowhere, so nothing reaches the terminal or stays behind.
class LogFolder {
  public:
    LogFolder();

    // The folder, "standard error" or "nowhere".
    const std::string& Where() const { return m_where; }
    bool Dropped() const { return m_dropped; }
    const std::string& DroppedBecause() const { return m_why; }

  private:
    std::string m_where;
    bool m_dropped = false;
    std::string m_why;
};

// The library's records on standard error as "* " lines, for -v.
class RecordEcho : public RVUtil::IRVLogObserver {
  public:
    RecordEcho();
    ~RecordEcho() override;
    RecordEcho(const RecordEcho&) = delete;
    RecordEcho& operator=(const RecordEcho&) = delete;
    void OnLogRecord(int level, const char* text) override;
};

}  // namespace rvfetch

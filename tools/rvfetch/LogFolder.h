#pragma once

#include <string>

#include <RVUtil/LogObserver.h>

namespace rvfetch {

// Where the library's records go for this run, chosen before the backend probe (which sends
// the log to RVUTIL_LOG_DIR): the folder the variable names when it is set; otherwise
// rvfetch's state folder, $XDG_STATE_HOME/rvfetch or ~/.local/state/rvfetch, made below a
// state or home folder that exists (never from the root up) and only when it can be
// written. Without one the records are dropped: they go to a private temporary folder that
// is emptied and removed once the probe has opened its file, so nothing reaches the
// terminal or stays behind.
class LogFolder {
  public:
    LogFolder();
    // After the probe: the records of a dropped log have nowhere left to stay.
    void probed();

    const std::string& folder() const { return m_folder; }  // empty when dropped
    const std::string& droppedBecause() const { return m_dropped; }

  private:
    std::string m_folder;
    std::string m_dropped;
    std::string m_throwaway;
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

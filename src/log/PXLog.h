#pragma once

#include <atomic>
#include <memory>
#include <string_view>

namespace RVUtil::log {

// Receives every record once it has been written; tests and hosts that mirror the log
// attach one. Called on the writing thread, never for two records at once.
class CPXLogSink {
  public:
    virtual ~CPXLogSink() = default;
    virtual void OnRecord(int level, std::string_view text) = 0;
};

// The log component: records from a printf-style format at a numeric level. The library
// writes LVL_ERROR (8) for every error report and LVL_NOTICE (64) for its start-up notice.
class CPXLog {
  public:
    enum Lvl : int {
        LVL_FATAL = 4,
        LVL_ERROR = 8,
        LVL_WARNING = 16,
        LVL_INFO = 32,
        LVL_NOTICE = 64,
        LVL_DEBUG = 128,
    };

    CPXLog();
    ~CPXLog();
    CPXLog(const CPXLog&) = delete;
    CPXLog& operator=(const CPXLog&) = delete;

    // Sends records to a file in folder from now on (the folder is created when missing):
    // flag1 selects one file per day, flag2 a copy of every record on standard error (see
    // PXLog.cpp). Until then, or when the folder cannot be written, records go to standard
    // error.
    void storage(const char* folder, const char* tag, const char* source, bool flag1, bool flag2);
    // Records go nowhere from now on but to the attached sinks.
    void Discard();
    // Whether the last storage call (or discard) took effect.
    bool Stored() const;
    // Sets the level of the calling thread's next record and returns the logger.
    CPXLog& operator()(Lvl level);
    // Writes one record, whole, before returning; safe from any number of threads. A record
    // whose thread set no level is LVL_INFO.
    void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));

    void AttachSink(std::shared_ptr<CPXLogSink> sink);
    void DetachSink(const std::shared_ptr<CPXLogSink>& sink);

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace RVUtil::log

namespace RVUtil {

// The one process-wide logger that every layer writes its diagnostics to.
log::CPXLog& LogChannel();

// Set once a host chose where the log goes (RVUtil_gfnSetLogFolder); the backend probe then
// leaves it there.
std::atomic<bool>& HostChoseLogFolder();

}  // namespace RVUtil

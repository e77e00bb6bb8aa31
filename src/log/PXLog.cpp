#include "log/PXLog.h"

#include <cxxabi.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "RVUtil/ThreadId.h"
#include "log/LogFileName.h"
#include "log/RecordText.h"
#include "platform/FormatText.h"

namespace RVUtil::log {

namespace {

// Every record is one line: local time with milliseconds, then what Emit puts in front of
// the text (level name and kernel thread id), e.g.
//   2025-05-01 12:34:56.789 [ERROR] [4711] [Curl Send Error]ErrorCode=28, ...
constexpr const char* kPattern = "%Y-%m-%d %H:%M:%S.%e %v";

// The level of a record whose thread did not choose one with operator().
constexpr int kDefaultLevel = CPXLog::LVL_INFO;

// The warning recorded when storage cannot take the records; they stay where they went.
constexpr const char* kStorageFailed = "Log storage unavailable in \"%s\": %s";

using SinkList = std::vector<std::shared_ptr<CPXLogSink>>;

// The level chosen by the calling thread for its next record, and on which logger. Callers
// hold no lock between operator() and Write, so the level cannot live in the logger.
struct PendingLevel {
    const CPXLog* owner = nullptr;
    int level = kDefaultLevel;
};
thread_local PendingLevel t_pending;

// spdlog's own levels matter only to sinks that filter; the record carries our level name.
spdlog::level::level_enum SpdlogLevel(int level) {
    if (level <= CPXLog::LVL_FATAL) {
        return spdlog::level::critical;
    }
    if (level <= CPXLog::LVL_ERROR) {
        return spdlog::level::err;
    }
    if (level <= CPXLog::LVL_WARNING) {
        return spdlog::level::warn;
    }
    if (level <= CPXLog::LVL_NOTICE) {
        return spdlog::level::info;
    }
    return spdlog::level::debug;
}

}  // namespace

struct CPXLog::State {
    // Held for a whole record, so the file, standard error and the attached sinks see
    // records whole and in one order. Recursive: a sink may itself write a record.
    std::recursive_mutex lock;
    // Records go to standard error until storage names a folder that can be written.
    spdlog::logger logger{"PXLog", std::make_shared<spdlog::sinks::stderr_sink_st>()};
    // Replaced, never changed in place, so a record in flight keeps the list it started with
    // even when a sink attaches or detaches another one from OnRecord.
    std::shared_ptr<const SinkList> sinks = std::make_shared<const SinkList>();
    bool stored = false;  // the last storage (or discard) took effect

    State() {
        logger.set_level(spdlog::level::trace);
        logger.set_pattern(kPattern);
        // Each record reaches the file (the kernel) before Write returns: a host that
        // crashes right after loses nothing, and a reader of the file sees it at once.
        logger.flush_on(spdlog::level::trace);
    }

    void Emit(int level, std::string raw) {
        const std::string text = EscapeControls(std::move(raw));
        std::lock_guard<std::recursive_mutex> hold(lock);
        const DWORD tid = GetCurrentThreadId();
        if (const char* name = LevelName(level)) {
            logger.log(SpdlogLevel(level), "[{}] [{}] {}", name, tid, text);
        } else {
            logger.log(SpdlogLevel(level), "[L{}] [{}] {}", level, tid, text);
        }
        const std::shared_ptr<const SinkList> current = sinks;
        for (const auto& sink : *current) {
            try {
                sink->OnRecord(level, text);
            } catch (const abi::__forced_unwind&) {
                throw;
            } catch (...) {
                // one failing sink must not keep the record from the others
            }
        }
    }
};

CPXLog::CPXLog() : m_state(std::make_unique<State>()) {}

CPXLog::~CPXLog() = default;

// flag1: one file per day, <tag>_<source>_YYYY-MM-DD.log, changing at local midnight;
//        false: one growing file, <tag>_<source>.log. Files are always appended to.
// flag2: every record is also copied to standard error; false: the file only.
// A folder that cannot be created or a file that cannot be opened is not fatal: records
// keep going where they went before, and a warning record says why.
void CPXLog::storage(const char* folder, const char* tag, const char* source, bool flag1,
                     bool flag2) {
    const std::string dir = folder != nullptr ? folder : "";
    std::string failure;
    try {
        if (dir.empty()) {
            throw std::runtime_error("no folder given");
        }
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);  // an existing folder is no error
        const std::string path = (std::filesystem::path(dir) / FileBaseName(tag, source)).string();
        std::vector<spdlog::sink_ptr> next;
        if (flag1) {
            next.push_back(std::make_shared<spdlog::sinks::daily_file_sink_st>(path, 0, 0));
        } else {
            next.push_back(std::make_shared<spdlog::sinks::basic_file_sink_st>(path));
        }
        if (flag2) {
            next.push_back(std::make_shared<spdlog::sinks::stderr_sink_st>());
        }
        std::lock_guard<std::recursive_mutex> hold(m_state->lock);
        m_state->logger.sinks() = std::move(next);
        m_state->logger.set_pattern(kPattern);
        m_state->stored = true;
        return;
    } catch (const abi::__forced_unwind&) {
        throw;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown error";
    }
    {
        std::lock_guard<std::recursive_mutex> hold(m_state->lock);
        m_state->stored = false;
    }
    try {
        m_state->Emit(LVL_WARNING,
                      RVUtil::platform::FormatText(kStorageFailed, dir.c_str(), failure.c_str()));
    } catch (const abi::__forced_unwind&) {
        throw;
    } catch (...) {
    }
}

void CPXLog::Discard() {
    std::lock_guard<std::recursive_mutex> hold(m_state->lock);
    m_state->logger.sinks().clear();
    m_state->stored = true;
}

bool CPXLog::Stored() const {
    std::lock_guard<std::recursive_mutex> hold(m_state->lock);
    return m_state->stored;
}

CPXLog& CPXLog::operator()(Lvl level) {
    t_pending.owner = this;
    t_pending.level = level;
    return *this;
}

// Logging never throws into its caller: a record that cannot be formatted or stored is
// dropped (spdlog reports its own write failures on standard error).
void CPXLog::Write(const char* format, ...) {
    const int level = t_pending.owner == this ? t_pending.level : kDefaultLevel;
    t_pending = PendingLevel{};
    if (format == nullptr) {
        return;
    }
    try {
        va_list args;
        va_start(args, format);
        std::string text = FormatV(format, args);
        va_end(args);
        m_state->Emit(level, std::move(text));
    } catch (const abi::__forced_unwind&) {
        throw;  // a cancelled thread must unwind through here
    } catch (...) {
    }
}

void CPXLog::AttachSink(std::shared_ptr<CPXLogSink> sink) {
    if (!sink) {
        return;
    }
    std::lock_guard<std::recursive_mutex> hold(m_state->lock);
    auto next = std::make_shared<SinkList>(*m_state->sinks);
    next->push_back(std::move(sink));
    m_state->sinks = std::move(next);
}

void CPXLog::DetachSink(const std::shared_ptr<CPXLogSink>& sink) {
    std::lock_guard<std::recursive_mutex> hold(m_state->lock);
    auto next = std::make_shared<SinkList>(*m_state->sinks);
    std::erase(*next, sink);
    m_state->sinks = std::move(next);
}

}  // namespace RVUtil::log

namespace RVUtil {

// Never destroyed: worker threads and other libraries' static destructors may still write
// after this library's statics are gone at exit. Every record is already flushed, so
// nothing is lost by leaving the object to the end of the process.
log::CPXLog& LogChannel() {
    static log::CPXLog* const kChannel = new log::CPXLog;
    return *kChannel;
}

}  // namespace RVUtil

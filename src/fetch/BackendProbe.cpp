// The backend probe: which fetcher suits the machine's proxy settings, decided once per
// process, and the log's folder set on the way.
#include "RVUtil/BackendProbe.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>

#include "RVUtil/CCriticalSection.h"
#include "fetch/HostLogFolder.h"
#include "log/PXLog.h"
#include "platform/SystemProxy.h"

namespace RVUtil {
namespace {

constexpr const char* kQueryFailed = "InternetQueryOption failed! (%d)\n";
constexpr const char* kStartupRecord = "RVUtil_IsUseWinInet Init";
// The system's number for "not enough memory", the one way reading the settings can fail.
constexpr int kErrorNotEnoughMemory = 8;

// Written under g_lock, answer first; read without it. A reader that sees the flag set
// (acquire) sees the answer stored before it was published (release).
std::atomic<int> g_settled{0};
std::atomic<int> g_answer{0};
CCriticalSection g_lock;

// The three facts about the default connection that the choice rests on.
struct DefaultConnection {
    bool autoConfigScript = false;  // auto_proxy names a script URL
    bool autoDetect = false;        // never on Linux: the environment has no such setting
    bool namedProxy = false;        // all_proxy, https_proxy or http_proxy, unless no_proxy=*
};

// Reads the settings from the environment. A value that cannot be parsed is not a failure
// but counts as unset; only running out of memory on the way makes the reading fail.
bool QueryDefaultConnection(DefaultConnection* out, int* error) {
    try {
        const platform::SystemProxySettings settings = platform::ReadSystemProxy();
        out->autoConfigScript = settings.AutoConfigScriptInForce();
        out->autoDetect = settings.AutoDetectInForce();
        out->namedProxy = settings.NamedProxyInForce();
        return true;
    } catch (const std::bad_alloc&) {
        *error = kErrorNotEnoughMemory;
        return false;
    }
}

// Sends the log to the host's log folder (RVUTIL_LOG_DIR, else "Log" beside the host's
// executable), unless the host chose one itself, and writes the start-up record. When neither can
// be had (no /proc, or a path without '/'), the folder is left as it was, so records keep going
// where they went (standard error until a folder is set); the start-up record is written all the
// same.
void SetUpLog() noexcept {
    try {
        if (HostChoseLogFolder().load(std::memory_order_acquire)) {
            // the host put the log where it wants it
        } else if (const std::optional<std::string> folder = fetch::HostLogFolder()) {
            LogChannel().storage(folder->c_str(), "PX", "RVUtil", true, false);
        }
    } catch (const std::exception&) {
        // no memory for the path: the folder stays as it was
    }
    LogChannel()(log::CPXLog::LVL_NOTICE).Write(kStartupRecord);
}

}  // namespace

int RVUtil_IsUseWinInet() {
    if (g_settled.load(std::memory_order_acquire) != 0) {
        return g_answer.load(std::memory_order_relaxed);
    }
    DefaultConnection connection;
    int error = 0;
    if (!QueryDefaultConnection(&connection, &error)) {
        std::printf(kQueryFailed, error);
        return 1;
    }
    // The platform's second query, for the access type, reads the same settings here (a
    // named proxy in force is the proxy access type), so it has no failure of its own.
    const bool autoConfiguration = connection.autoConfigScript || connection.autoDetect;
    const int answer = (connection.namedProxy || autoConfiguration) ? 1 : 0;
    CSingleLock hold(&g_lock, TRUE);
    g_answer.store(answer, std::memory_order_relaxed);
    g_settled.store(1, std::memory_order_release);
    // First callers that raced here each set the log up, one after the other, so that two
    // of them never open the log file (and the C library's time zone) at the same moment.
    // Later callers see the flag and never wait for this.
    SetUpLog();
    return answer;
}

}  // namespace RVUtil

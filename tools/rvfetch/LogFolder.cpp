#include "LogFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rvfetch {

namespace {

constexpr const char* kLogFolderVariable = "RVUTIL_LOG_DIR";

bool IsFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

// Makes base + "/" + below, one folder at a time, base itself never; false with the reason.
bool MakeBelow(const std::string& base, const std::string& below, std::string& why) {
    if (!IsFolder(base)) {
        why = base.empty() ? std::string("no home folder is known") : base + " is not a folder";
        return false;
    }
    std::string path = base;
    for (std::size_t start = 0; start < below.size();) {
        const std::size_t slash = below.find('/', start);
        const std::size_t end = slash == std::string::npos ? below.size() : slash;
        path += "/" + below.substr(start, end - start);
        start = end + 1;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            why = "cannot create " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    if (::access(path.c_str(), W_OK | X_OK) != 0) {
        why = "cannot write to " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

LogFolder::LogFolder() {
    if (const char* named = std::getenv(kLogFolderVariable); named != nullptr) {
        // The library's own setting, read by the probe.
        m_where = *named != '\0' ? named : "standard error";
        return;
    }
    const char* state = std::getenv("XDG_STATE_HOME");
    const bool xdg = state != nullptr && state[0] == '/';
    const std::string base = xdg ? std::string(state) : HomeFolder();
    const std::string below = xdg ? "rvfetch" : ".local/state/rvfetch";
    if (MakeBelow(base, below, m_why)) {
        m_where = base + "/" + below;
        if (RVUtil::RVUtil_gfnSetLogFolder(m_where.c_str())) {
            return;
        }
        m_why = "the log cannot be opened in " + m_where;
    }
    RVUtil::RVUtil_gfnSetLogFolder(nullptr);
    m_where = "nowhere";
    m_dropped = true;
}

RecordEcho::RecordEcho() {
    RVUtil::RVUtil_gfnAddLogObserver(this);
}

RecordEcho::~RecordEcho() {
    RVUtil::RVUtil_gfnRemoveLogObserver(this);
}

void RecordEcho::OnLogRecord(int, const char* text) {
    std::fprintf(stderr, "* %s\n", text);
}

}  // namespace rvfetch

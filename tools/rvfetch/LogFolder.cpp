#include "LogFolder.h"

#include <dirent.h>
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
        m_folder = named;
        return;
    }
    const char* state = std::getenv("XDG_STATE_HOME");
    const bool xdg = state != nullptr && state[0] == '/';
    const std::string base = xdg ? std::string(state) : HomeFolder();
    const std::string below = xdg ? "rvfetch" : ".local/state/rvfetch";
    if (MakeBelow(base, below, m_dropped)) {
        m_folder = base + "/" + below;
        setenv(kLogFolderVariable, m_folder.c_str(), 1);
        return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/rvfetch-records-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        m_throwaway = pattern;
        setenv(kLogFolderVariable, m_throwaway.c_str(), 1);
    }
}

void LogFolder::probed() {
    if (m_throwaway.empty()) {
        return;
    }
    // The log keeps its file open; with its name gone the records go nowhere.
    if (DIR* folder = ::opendir(m_throwaway.c_str())) {
        while (const dirent* entry = ::readdir(folder)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                ::unlink((m_throwaway + "/" + entry->d_name).c_str());
            }
        }
        ::closedir(folder);
    }
    ::rmdir(m_throwaway.c_str());
    m_throwaway.clear();
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

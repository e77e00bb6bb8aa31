#include "LogFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace rvfetch {

namespace {

constexpr const char* kLogFolderVariable = "RVUTIL_LOG_DIR";

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

}  // namespace

std::string StateLogFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        return std::string(state) + "/rvfetch";
    }
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.local/state/rvfetch";
}

std::string ChooseLogFolder() {
    if (const char* named = std::getenv(kLogFolderVariable); named != nullptr) {
        return named;
    }
    // Without a home folder the variable is set empty: the records stay on standard error.
    const std::string folder = StateLogFolder();
    setenv(kLogFolderVariable, folder.c_str(), 1);
    return folder;
}

}  // namespace rvfetch

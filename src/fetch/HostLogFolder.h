#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where the library's log goes once the backend probe has run: the folder named by
// RVUTIL_LOG_DIR, or else the folder "Log" beside the executable of the host process.
namespace RVUtil::fetch {

// A host whose executable lives in a folder it must not write to (an installed program in
// /usr/bin, say) names another folder for the log here.
constexpr const char* kLogFolderVariable = "RVUTIL_LOG_DIR";

// The path of the running executable (/proc/self/exe), or nothing when it cannot be read
// (no /proc mounted, or a path beyond 1 MiB).
std::optional<std::string> HostExecutablePath();

// exePath cut just before its last '/', followed by "/Log"; nothing when exePath holds no
// '/'. An executable in the root folder gives "/Log".
std::optional<std::string> LogFolderBeside(std::string_view exePath);

// The probe's log folder: $RVUTIL_LOG_DIR when it is set, else the folder beside the
// executable. Nothing when the variable is set but empty (the log stays where it is, which
// suits a host that wants its records on standard error) or when the executable's path
// cannot be read.
std::optional<std::string> HostLogFolder();

}  // namespace RVUtil::fetch

#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where the library's log goes once the backend probe has run: the folder "Log" beside the
// executable of the host process.
namespace RVUtil {

// The path of the running executable (/proc/self/exe), or nothing when it cannot be read
// (no /proc mounted, or a path beyond 1 MiB).
std::optional<std::string> HostExecutablePath();

// exePath cut just before its last '/', followed by "/Log"; nothing when exePath holds no
// '/'. An executable in the root folder gives "/Log".
std::optional<std::string> LogFolderBeside(std::string_view exePath);

}  // namespace RVUtil

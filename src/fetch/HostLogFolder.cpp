#include "fetch/HostLogFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace RVUtil::fetch {
namespace {

constexpr const char* kSelfExe = "/proc/self/exe";
// Enough for any path the kernel reports (PATH_MAX is 4096); doubling covers the rest.
constexpr std::size_t kFirstGuess = 4096;
constexpr std::size_t kLargestPath = std::size_t{1} << 20;

}  // namespace

std::optional<std::string> HostExecutablePath() {
    // readlink does not say whether it cut the path; a result that fills the buffer may
    // have been cut, so the buffer grows until one does not.
    for (std::size_t size = kFirstGuess; size <= kLargestPath; size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t length = readlink(kSelfExe, buffer.data(), buffer.size());
        if (length <= 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
    }
    return std::nullopt;
}

std::optional<std::string> LogFolderBeside(std::string_view exePath) {
    const std::size_t slash = exePath.rfind('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(exePath.substr(0, slash)).append("/Log");
}

std::optional<std::string> HostLogFolder() {
    if (const char* named = std::getenv(kLogFolderVariable); named != nullptr) {
        return *named != '\0' ? std::optional<std::string>(named) : std::nullopt;
    }
    if (const std::optional<std::string> exe = HostExecutablePath()) {
        return LogFolderBeside(*exe);
    }
    return std::nullopt;
}

}  // namespace RVUtil::fetch

#include "Output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rvfetch {

namespace {

// curl's limit for the binary check: only the beginning of the output is looked at.
constexpr std::uint64_t kBinaryCheckBytes = 2000;

bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0750) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

}  // namespace

Output::Output(std::string path, bool createDirs)
    : m_path(std::move(path)), m_createDirs(createDirs) {}

Output::~Output() {
    if (m_fd > 2) {
        ::close(m_fd);
    }
}

bool Output::Open() {
    if (m_fd >= 0) {
        return true;
    }
    if (IsStandardOutput()) {
        m_fd = STDOUT_FILENO;
        return true;
    }
    if (m_createDirs && !MakeFolders(m_path)) {
        m_error = "cannot create the folders of " + m_path + ": " + std::strerror(errno);
        return false;
    }
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_error = "cannot create " + m_path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    m_regular = ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
    return true;
}

bool Output::Write(std::string_view bytes) {
    if (!Open()) {
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_error = std::string("Failure writing output to destination: ") +
                      std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        m_written += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool Output::Touch() {
    return Open();
}

std::uint64_t Output::Rewind() {
    const std::uint64_t thrownAway = m_written;
    if (m_regular && ::ftruncate(m_fd, 0) == 0 && ::lseek(m_fd, 0, SEEK_SET) == 0) {
        m_written = 0;
        return thrownAway;
    }
    return 0;
}

bool Output::RefusesBinary(std::string_view piece) const {
    return m_path.empty() && m_written < kBinaryCheckBytes && ::isatty(STDOUT_FILENO) != 0 &&
           piece.find('\0') != std::string_view::npos;
}

}  // namespace rvfetch

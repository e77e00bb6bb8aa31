#include "Output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rvfetch {

namespace {

bool WriteFully(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string Reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

Output::~Output() {
    if (m_fd != 1) {
        ::close(m_fd);
    }
}

bool Output::Open(const std::string& path, std::string& error) {
    if (path.empty() || path == "-") {
        return true;
    }
    m_path = path;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    m_created = m_fd >= 0;
    if (m_fd < 0 && errno == EEXIST) {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    }
    if (m_fd < 0) {
        error = Reason("cannot create", path);
        m_fd = 1;
        return false;
    }
    struct stat info {};
    m_regular = ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
    return true;
}

bool Output::WriteAll(std::string_view heads, std::string_view body, std::string& error) {
    const std::string what = m_fd == 1 ? std::string("standard output") : m_path;
    if ((m_regular && ::ftruncate(m_fd, 0) != 0) || !WriteFully(m_fd, heads) ||
        !WriteFully(m_fd, body)) {
        error = Reason("cannot write to", what);
        return false;
    }
    if (m_fd != 1) {
        const int fd = m_fd;
        m_fd = 1;
        if (::close(fd) != 0) {
            error = Reason("cannot write to", what);
            return false;
        }
    }
    return true;
}

void Output::Discard() {
    if (m_created) {
        ::unlink(m_path.c_str());
        m_created = false;
    }
}

}  // namespace rvfetch

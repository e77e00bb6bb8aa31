#include "ChildProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace rvtest {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options) {
    if (argv.empty()) {
        throw std::invalid_argument("ChildProcess: empty argv");
    }
    // Everything the child needs is prepared before fork: between fork and exec a
    // multi-threaded parent's child may only make async-signal-safe calls.
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    int out[2] = {-1, -1};
    int outFile = -1;
    int errFile = -1;
    if (options.stdoutPath.empty()) {
        if (::pipe2(out, O_CLOEXEC) != 0) {
            throw std::system_error(errno, std::generic_category(), "pipe2");
        }
    } else {
        outFile =
            ::open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    if (!options.stderrPath.empty()) {
        errFile =
            ::open(options.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(126);  // the parent died before the death signal was armed
        }
        const int stdoutFd = out[1] >= 0 ? out[1] : outFile;
        if (stdoutFd >= 0) {
            ::dup2(stdoutFd, STDOUT_FILENO);
        }
        if (errFile >= 0) {
            ::dup2(errFile, STDERR_FILENO);
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    const int forkError = errno;
    if (out[1] >= 0) {
        ::close(out[1]);
    }
    if (outFile >= 0) {
        ::close(outFile);
    }
    if (errFile >= 0) {
        ::close(errFile);
    }
    m_stdout = out[0];
    if (m_pid < 0) {
        if (m_stdout >= 0) {
            ::close(m_stdout);
        }
        throw std::system_error(forkError, std::generic_category(), "fork");
    }
    ::setpgid(m_pid, m_pid);  // also from this side, so the group exists before Stop
}

ChildProcess::~ChildProcess() {
    Stop();
    if (m_stdout >= 0) {
        ::close(m_stdout);
    }
}

bool ChildProcess::Running() {
    if (m_reaped) {
        return false;
    }
    // Looks without reaping: while the leader is an unreaped zombie its id cannot be
    // reused, so signalling the group by that id can only reach our own processes.
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return false;
    }
    return info.si_pid == 0;
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t end = m_buffered.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffered.substr(0, end);
            m_buffered.erase(0, end + 1);
            return line;
        }
        if (m_stdout < 0) {
            return {};
        }
        pollfd wait{m_stdout, POLLIN, 0};
        const int ready = ::poll(&wait, 1, RemainingMs(deadline));
        if (ready <= 0) {
            return {};
        }
        char buffer[4096];
        const ssize_t got = ::read(m_stdout, buffer, sizeof buffer);
        if (got <= 0) {
            return {};
        }
        m_buffered.append(buffer, static_cast<std::size_t>(got));
    }
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
    if (m_pid <= 0 || m_reaped) {
        return m_reaped ? m_status : -1;
    }
    ::kill(-m_pid, SIGTERM);
    const auto deadline = Clock::now() + grace;
    while (Running() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Whatever of the group is left (the leader after the grace, or workers that outlived
    // it) is killed before the leader is reaped.
    ::kill(-m_pid, SIGKILL);
    while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
    }
    m_reaped = true;
    return m_status;
}

bool IsExecutable(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string FindProgram(const std::vector<std::string>& candidates) {
    // PATH, then the system folders a non-root PATH often lacks.
    const char* pathVariable = std::getenv("PATH");
    const std::string folders =
        std::string(pathVariable != nullptr ? pathVariable : "") + ":/usr/sbin:/sbin";
    for (const std::string& candidate : candidates) {
        if (candidate.find('/') != std::string::npos) {
            if (IsExecutable(candidate)) {
                return candidate;
            }
            continue;
        }
        std::stringstream split(folders);
        for (std::string folder; std::getline(split, folder, ':');) {
            if (IsExecutable(folder + "/" + candidate)) {
                return folder + "/" + candidate;
            }
        }
    }
    return {};
}

std::uint16_t PickFreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "socket");
    }
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category(), "bind 127.0.0.1:0");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

bool WaitForLoopbackPort(std::uint16_t port, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    const sockaddr_in address = LoopbackAddress(port);
    do {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address),
                                                    sizeof address) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        if (connected) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < deadline);
    return false;
}

TempDir::TempDir(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + ".XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

long PeakResidentKiB() {
    const std::string status = ReadFile("/proc/self/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace rvtest

#include "ChildProcess.h"

#define BOOST_PROCESS_USE_STD_FS
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/process/args.hpp>
#include <boost/process/child.hpp>
#include <boost/process/environment.hpp>
#include <boost/process/exe.hpp>
#include <boost/process/extend.hpp>
#include <boost/process/group.hpp>
#include <boost/process/io.hpp>
#include <boost/process/pipe.hpp>
#include <boost/process/search_path.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace rvtest {

namespace asio = boost::asio;
namespace bp = boost::process;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct ChildProcess::Process {
    bp::group group;
    bp::pipe out;
    bp::child child;
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options)
    : m_process(std::make_unique<Process>()) {
    if (argv.empty()) {
        throw std::invalid_argument("ChildProcess: empty argv");
    }
    const std::string program =
        argv[0].find('/') != std::string::npos ? argv[0] : FindProgram({argv[0]});
    const auto args = bp::args = std::vector<std::string>(argv.begin() + 1, argv.end());
    const auto exe = bp::exe = program;
    const pid_t parent = ::getpid();
    // Killed when the thread that started it dies, so a crashed run leaves nothing behind.
    const auto dieWithParent = bp::extend::on_exec_setup = [parent](auto&) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(126);  // the parent died before the death signal was armed
        }
    };
    Process& p = *m_process;
    // Neither end may leak into this child (when its output goes to a file) nor into one
    // that another thread starts meanwhile.
    for (const int fd : {p.out.native_source(), p.out.native_sink()}) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    const std::filesystem::path outPath = options.stdoutPath;
    const std::filesystem::path errPath = options.stderrPath;
    if (outPath.empty()) {
        p.child = bp::child(exe, args, p.group, dieWithParent, bp::std_out > p.out);
    } else if (errPath.empty()) {
        p.child = bp::child(exe, args, p.group, dieWithParent, bp::std_out > outPath);
    } else {
        p.child = bp::child(exe, args, p.group, dieWithParent, bp::std_out > outPath,
                            bp::std_err > errPath);
    }
    ::setpgid(p.child.id(), p.child.id());  // also from this side, so the group exists before Stop
    if (p.out.native_sink() >= 0) {
        ::close(p.out.native_sink());  // the child's end: ReadLine sees the end of its output
        p.out.assign_sink(-1);
    }
}

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Running() {
    return m_process->child.valid() && m_process->child.running();
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
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd wait{m_process->out.native_source(), POLLIN, 0};
        char buffer[4096];
        ssize_t got = 0;
        if (wait.fd < 0 ||
            ::poll(&wait, 1, static_cast<int>(std::max<long long>(0, left.count()))) <= 0 ||
            (got = ::read(wait.fd, buffer, sizeof buffer)) <= 0) {
            return {};
        }
        m_buffered.append(buffer, static_cast<std::size_t>(got));
    }
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
    bp::child& child = m_process->child;
    if (!child.valid() || m_status != -1) {
        return m_status;
    }
    const pid_t group = child.id();
    ::kill(-group, SIGTERM);
    const auto deadline = Clock::now() + grace;
    while (child.running() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Whatever of the group is left (the leader after the grace, or workers that outlived
    // it) is killed before the leader is waited for.
    ::kill(-group, SIGKILL);
    std::error_code ignored;
    child.wait(ignored);
    m_process->group.detach();
    m_status = child.native_exit_code();
    return m_status;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Running() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool ended = !Running();
    const int status = Stop();
    return !ended ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string FindProgram(const std::vector<std::string>& candidates) {
    // PATH, then the system folders a non-root PATH often lacks.
    std::vector<std::filesystem::path> folders = ::boost::this_process::path();
    folders.insert(folders.end(), {"/usr/sbin", "/sbin"});
    for (const std::string& candidate : candidates) {
        if (candidate.find('/') == std::string::npos) {
            if (const auto found = bp::search_path(candidate, folders); !found.empty()) {
                return found.string();
            }
        } else if (std::filesystem::is_regular_file(candidate) &&
                   ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

std::uint16_t PickFreeLoopbackPort() {
    asio::io_context io;
    return tcp::acceptor(io, {asio::ip::address_v4::loopback(), 0}).local_endpoint().port();
}

bool WaitForLoopbackPort(std::uint16_t port, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    asio::io_context io;
    for (boost::system::error_code error;; std::this_thread::sleep_for(20ms)) {
        tcp::socket(io).connect({asio::ip::address_v4::loopback(), port}, error);
        if (!error || Clock::now() >= deadline) {
            return !error;
        }
    }
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

std::string ThreadNameOf(unsigned long tid) {
    const std::string comm = ReadFile("/proc/self/task/" + std::to_string(tid) + "/comm");
    return comm.substr(0, comm.find('\n'));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string ReadFolder(const std::string& folder, std::vector<std::string>* names) {
    std::string all;
    std::error_code none;  // no folder: nothing read
    for (const auto& entry : std::filesystem::directory_iterator(folder, none)) {
        all += ReadFile(entry.path().string());
        if (names != nullptr) {
            names->push_back(entry.path().filename().string());
        }
    }
    return all;
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace rvtest

#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "loopback/LoopbackServer.h"

namespace rvtest {

// A program run beside the tests (a real web server, a proxy, a benchmark server). It gets
// its own process group, so that stopping it also ends the workers it forked, and it is
// killed when the thread that started it dies, so a crashed test run leaves nothing behind.
class ChildProcess {
  public:
    struct Options {
        std::string stdoutPath;  // empty: a pipe that ReadLine reads
        std::string stderrPath;  // empty: inherited; given, so must stdoutPath be
    };

    ChildProcess(const std::vector<std::string>& argv, const Options& options);
    explicit ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}) {}
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running();
    // One line of the child's standard output (without the line end); empty on time-out or
    // end of output.
    std::string ReadLine(std::chrono::milliseconds timeout);
    // Sends SIGTERM to the group, then SIGKILL to what is left of it after grace; returns
    // the leader's wait status. Later calls return the same status.
    int Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000));
    // Waits up to timeout for the child to end; its exit status (128 + the signal for one
    // killed by a signal), or -1 when it was still running and has been stopped.
    int Wait(std::chrono::milliseconds timeout);

  private:
    struct Process;  // Boost.Process's child, its group and the output pipe
    std::unique_ptr<Process> m_process;
    std::string m_buffered;
    int m_status = -1;
};

// The first of the candidates that is executable, searching PATH for bare names; empty if
// none is.
std::string FindProgram(const std::vector<std::string>& candidates);

using loopback::LoopbackAddress;
using loopback::SendAll;
// A port on 127.0.0.1 that was free a moment ago (bound to port 0, then released). For
// programs that must be told a port; they can still lose it to a race, so callers retry.
std::uint16_t PickFreeLoopbackPort();
// Waits until something accepts TCP connections on 127.0.0.1:port.
bool WaitForLoopbackPort(std::uint16_t port, std::chrono::milliseconds timeout);

// A fresh directory under $TMPDIR (or /tmp), removed with its contents on destruction.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "rvutil");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// The peak resident size of this process so far (VmHWM), in KiB. Unlike getrusage's
// maxrss it starts afresh with exec, so a child does not inherit its parent's peak.
long PeakResidentKiB();

// The name the kernel keeps for thread tid of this process.
std::string ThreadNameOf(unsigned long tid);

// The whole content of a file, or empty when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// The contents of every file in a folder, one after the other (empty without the folder);
// names, when given, receives the files' names.
std::string ReadFolder(const std::string& folder, std::vector<std::string>* names = nullptr);

}  // namespace rvtest

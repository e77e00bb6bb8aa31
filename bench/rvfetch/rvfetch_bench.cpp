// Wall time of whole program runs: `rvfetch -o /dev/null URL` on each backend against
// `curl -s -o /dev/null URL`, one GET of 1 KiB from nginx on loopback. The programs run
// in alternating order, round after round, so that a drift in the machine's load weighs
// on all alike; the ratio is the median over rounds of rvfetch's time over curl's. The
// rvfetch measured is the built one, or the one named on the command line (an installed
// one, for instance: the targets are for the stripped binaries of the packages). Such a
// run is mostly start-up; the curl backend loads libcurl as curl does, the own backend
// never does.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "LocalServices.h"

extern char** environ;

namespace {

constexpr int kRounds = 301;

// One run of argv, standard output and error to /dev/null; its wall time in ms.
double TimedRun(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "run failed: %s\n", args[0].c_str());
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string rvfetch = argc > 1 ? argv[1] : RVFETCH_PATH;
    rvtest::TempDir home("rvfetch-bench-home");
    setenv("HOME", home.Path().c_str(), 1);  // rvfetch's records go there
    rvtest::TempDir dir("rvfetch-bench");
    const std::uint16_t port = rvtest::PickFreeLoopbackPort();
    std::filesystem::create_directories(dir / "www");
    rvtest::WriteFile(dir / "www/1k.txt", std::string(1024, 'x'));
    const auto web = rvtest::StartNginx(
        rvtest::FindProgram({"nginx"}), dir.Path(),
        rvtest::NginxConfig(dir.Path(), "server { listen 127.0.0.1:" + std::to_string(port) +
                                            "; root " + dir / "www" + "; }\n"),
        port);
    if (!web || rvtest::FindProgram({"curl"}).empty()) {
        std::fprintf(stderr, "needs nginx and curl (scripts/setup.sh installs them)\n");
        return 1;
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/1k.txt";
    const std::vector<std::vector<std::string>> programs = {
        {"curl", "-s", "-o", "/dev/null", url},
        {rvfetch, "--backend", "curl", "-o", "/dev/null", url},
        {rvfetch, "--backend", "inet", "-o", "/dev/null", url}};
    const double targets[] = {1.0, 1.1, 0.5};  // at most this times curl's time
    std::vector<std::vector<double>> times(programs.size());
    for (int round = 0; round < kRounds; ++round) {
        for (std::size_t i = 0; i < programs.size(); ++i) {
            const std::size_t which = round % 2 == 0 ? i : programs.size() - 1 - i;
            times[which].push_back(TimedRun(programs[which]));
        }
    }
    std::printf("whole runs, one GET of 1 KiB from nginx, median of %d alternating rounds\n",
                kRounds);
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::vector<double> ratios;
        for (int round = 0; round < kRounds; ++round) {
            ratios.push_back(times[i][round] / times[0][round]);
        }
        std::printf("%-16s %6.2f ms   ratio to curl %.3f (target <= %.1f)\n",
                    i == 0 ? "curl" : (std::string("rvfetch ") + programs[i][2]).c_str(),
                    Median(times[i]), Median(ratios), targets[i]);
    }
    return 0;
}

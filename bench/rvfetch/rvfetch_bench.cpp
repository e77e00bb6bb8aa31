// Wall time, CPU time and peak memory of whole program runs: `rvfetch -o /dev/null URL`
// on each backend against `curl -s -o /dev/null URL`, a GET of 1 KiB and one of 64 MiB
// (streamed, and fetched whole with --whole) from nginx on loopback. The programs run in
// alternating order, round after round, so that a drift in the machine's load weighs on all
// alike; the ratio is the median over rounds of rvfetch's time over curl's. The rvfetch
// measured is the built one, or the one named on the command line (an installed one, for
// instance: the targets are for the stripped binaries of the packages). A small run is
// mostly start-up; the curl backend loads libcurl as curl does, the own backend never does.
// A large one is the receiving loop: how many bytes each read takes, and what each piece
// costs on its way out.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "LocalServices.h"

extern char** environ;

namespace {

struct Measured {
    double ms;
    double cpuMs;   // the child's user and system time
    double peakMb;  // the child's largest resident set
};

double Ms(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

// One run of argv, standard output and error to /dev/null.
Measured TimedRun(const std::vector<std::string>& args) {
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
    rusage usage{};
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
        wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "run failed: %s\n", args[0].c_str());
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    return {
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
        Ms(usage.ru_utime) + Ms(usage.ru_stime), static_cast<double>(usage.ru_maxrss) / 1024.0};
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
    {
        // Written a piece at a time: a child's peak counts its parent's memory at the spawn.
        std::ofstream large(dir / "www/64m.bin", std::ios::binary);
        const std::string piece(std::size_t{1} << 20, 'x');
        for (int i = 0; i < 64; ++i) {
            large << piece;
        }
    }
    const auto web = rvtest::StartNginx(
        rvtest::FindProgram({"nginx"}), dir.Path(),
        rvtest::NginxConfig(dir.Path(), "server { listen 127.0.0.1:" + std::to_string(port) +
                                            "; root " + dir / "www" + "; }\n"),
        port);
    if (!web || rvtest::FindProgram({"curl"}).empty()) {
        std::fprintf(stderr, "needs nginx and curl (scripts/setup.sh installs them)\n");
        return 1;
    }
    const struct {
        const char* what;
        const char* path;
        const char* mode;  // rvfetch's: "--no-progress-meter" streams, "--whole" does not
        int rounds;
        double targets[3];  // at most this times curl's time
    } cases[] = {
        {"one GET of 1 KiB", "/1k.txt", "--no-progress-meter", 301, {1.0, 1.1, 0.5}},
        {"one GET of 64 MiB, streamed", "/64m.bin", "--no-progress-meter", 31, {1.0, 1.1, 1.1}},
        {"one GET of 64 MiB, whole (--whole)", "/64m.bin", "--whole", 31, {1.0, 1.3, 1.3}},
    };
    for (const auto& c : cases) {
        const std::string url = "http://127.0.0.1:" + std::to_string(port) + c.path;
        const std::vector<std::vector<std::string>> programs = {
            {"curl", "-s", "-o", "/dev/null", url},
            {rvfetch, "--backend", "curl", c.mode, "-o", "/dev/null", url},
            {rvfetch, "--backend", "inet", c.mode, "-o", "/dev/null", url}};
        std::vector<std::vector<Measured>> runs(programs.size());
        for (int round = 0; round < c.rounds; ++round) {
            for (std::size_t i = 0; i < programs.size(); ++i) {
                const std::size_t which = round % 2 == 0 ? i : programs.size() - 1 - i;
                runs[which].push_back(TimedRun(programs[which]));
            }
        }
        std::printf("whole runs, %s from nginx, median of %d alternating rounds\n", c.what,
                    c.rounds);
        for (std::size_t i = 0; i < programs.size(); ++i) {
            std::vector<double> times, cpu, peaks, ratios, cpuRatios;
            for (int round = 0; round < c.rounds; ++round) {
                const Measured& run = runs[i][round];
                times.push_back(run.ms);
                cpu.push_back(run.cpuMs);
                peaks.push_back(run.peakMb);
                ratios.push_back(run.ms / runs[0][round].ms);
                cpuRatios.push_back(run.cpuMs / runs[0][round].cpuMs);
            }
            std::printf(
                "%-16s %7.2f ms (cpu %6.2f ms) %5.1f MB peak   ratio to curl %.3f "
                "(target <= %.1f), cpu %.3f\n",
                i == 0 ? "curl" : (std::string("rvfetch ") + programs[i][2]).c_str(), Median(times),
                Median(cpu), Median(peaks), Median(ratios), c.targets[i], Median(cpuRatios));
        }
    }
    return 0;
}

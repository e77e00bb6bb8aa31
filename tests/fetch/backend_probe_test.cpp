// The backend probe. Its answer is kept for the life of a process, so each case runs a
// copy of this test program in a folder of its own, as a fresh host process with the proxy
// environment of the case, and looks at what it printed and at the Log folder beside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "AllocationFailure.h"
#include "ChildProcess.h"
#include "RVUtil/BackendProbe.h"
#include "RVUtil/LogObserver.h"
#include "ScopedEnvironment.h"
#include "fetch/HostLogFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kScenario = "RVUTIL_PROBE_SCENARIO";
// Where the host itself puts the log before it asks ("-": nowhere), when set.
constexpr const char* kHostFolder = "RVUTIL_PROBE_HOST_FOLDER";

// The child's side: runs only in a host started by HostRun below.
TEST(ProbeInChild, Run) {
    const char* scenario = std::getenv(kScenario);
    if (scenario == nullptr) {
        GTEST_SKIP() << "runs only as a child of the probe tests";
    }
    const std::string name = scenario;
    std::vector<int> answers;
    if (name == "twice") {
        if (const char* folder = std::getenv(kHostFolder); folder != nullptr) {
            RVUtil::RVUtil_gfnSetLogFolder(std::string(folder) == "-" ? nullptr : folder);
        }
        answers.push_back(RVUtil::RVUtil_IsUseWinInet());
        // Settings that would give the other answer: the kept one is returned all the same.
        rvtest::ScopedEnvironment env;
        if (answers[0] == 0) {
            env.Set("http_proxy", "http://127.0.0.1:3128");
        } else {
            env.UnsetProxies();
        }
        answers.push_back(RVUtil::RVUtil_IsUseWinInet());
    } else if (name == "failing") {
        int first = -1;
        {
            rvtest::FailAllocationsFrom failing(1);
            first = RVUtil::RVUtil_IsUseWinInet();
        }
        answers.push_back(first);
        const std::string exe = fs::canonical("/proc/self/exe").string();
        std::printf("log folder after the failure: %s\n",
                    fs::exists(fs::path(exe).parent_path() / "Log") ? "present" : "absent");
        answers.push_back(RVUtil::RVUtil_IsUseWinInet());
    }
    std::printf("answers:");
    for (int a : answers) {
        std::printf(" %d", a);
    }
    std::printf("\n");
}

// What one host run left behind: its exit status, its standard output, and the names and
// contents of the files in the Log folder beside it.
struct HostRun {
    int exitStatus = -1;
    std::string output;
    std::vector<std::string> logFiles;
    std::string log;
    std::string errors;  // what the host wrote on standard error
    bool logBesideHost = false;

    std::string Answers() const {
        const std::size_t at = output.rfind("answers:");
        return at == std::string::npos ? "" : output.substr(at, output.find('\n', at) - at);
    }
    long StartupRecords() const {
        static const std::regex kRecord(
            R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[NOTICE\] \[\d+\] RVUtil_IsUseWinInet Init)");
        return std::distance(std::sregex_iterator(log.begin(), log.end(), kRecord),
                             std::sregex_iterator());
    }
};

// Runs scenario in a copy of this program placed in a fresh folder, with the proxy
// variables set as given and all others unset. logFolder, when given, is where the log
// goes instead of "Log" beside the copy.
HostRun RunHost(const std::string& scenario,
                const std::vector<std::pair<std::string, std::string>>& variables = {},
                const std::string& logFolder = {}) {
    rvtest::TempDir dir("rvutil-probe");
    const std::string host = dir / "host";
    fs::copy_file("/proc/self/exe", host);
    fs::permissions(host, fs::perms::owner_all);
    HostRun run;
    {
        rvtest::ScopedEnvironment env;
        env.UnsetProxies().Unset(RVUtil::fetch::kLogFolderVariable);
        for (const auto& [name, value] : variables) {
            env.Set(name, value);
        }
        env.Set(kScenario, scenario);
        rvtest::ChildProcess child({host, "--gtest_filter=ProbeInChild.Run"},
                                   {dir / "stdout", dir / "stderr"});
        run.exitStatus = child.Wait(120s);
    }
    run.output = rvtest::ReadFile(dir / "stdout");
    run.errors = rvtest::ReadFile(dir / "stderr");
    run.logBesideHost = fs::exists(dir / "Log");
    run.log = rvtest::ReadFolder(logFolder.empty() ? dir / "Log" : logFolder, &run.logFiles);
    return run;
}

// Each host asks twice, the second time after changing the settings to give the other
// answer: the kept one is returned. Any proxy in force chooses the own fetcher (which
// settings are in force is the platform's own rule, tested there).
TEST(BackendProbeTest, AnswersOnceWithOneStartupRecordWhereTheLogGoes) {
    rvtest::TempDir state("rvutil-state");
    const std::string folder = state / "deeper/log";
    const std::string hostFolder = state / "host/log";
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> variables;
        const char* answers;
        std::string logFolder = {};  // where the log goes if not beside the host ("-": nowhere)
        long records = 1;
    } cases[] = {
        {"direct", {}, "answers: 0 0"},
        {"http_proxy", {{"http_proxy", "http://127.0.0.1:3128"}}, "answers: 1 1"},
        {"auto_proxy", {{"auto_proxy", "http://wpad.example/proxy.pac"}}, "answers: 1 1"},
        {"every host direct",
         {{"http_proxy", "http://127.0.0.1:3128"}, {"no_proxy", "*"}},
         "answers: 0 0"},
        {"log folder named", {{RVUtil::fetch::kLogFolderVariable, folder}}, "answers: 0 0", folder},
        {"log on standard error",
         {{RVUtil::fetch::kLogFolderVariable, ""}},
         "answers: 0 0",
         "-",
         0},
        {"the host's own folder", {{kHostFolder, hostFolder}}, "answers: 0 0", hostFolder},
        {"the host's own choice of nowhere", {{kHostFolder, "-"}}, "answers: 0 0", "-", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HostRun run = RunHost("twice", c.variables, c.logFolder);
        ASSERT_EQ(run.exitStatus, 0) << run.output;
        EXPECT_EQ(run.Answers(), c.answers);
        EXPECT_EQ(run.StartupRecords(), c.records) << run.log;
        EXPECT_EQ(run.logBesideHost, c.logFolder.empty());
        EXPECT_EQ(run.logFiles.size(), static_cast<std::size_t>(c.records));
        for (const std::string& file : run.logFiles) {
            EXPECT_TRUE(std::regex_match(file, std::regex(R"(PX_RVUtil_\d{4}-\d\d-\d\d\.log)")))
                << file;
        }
        EXPECT_EQ(run.output.find("InternetQueryOption failed!"), std::string::npos);
        // Standard error holds the records only until a folder is set, or when nowhere else
        // was asked for.
        EXPECT_EQ(run.errors.find("RVUtil_IsUseWinInet Init") != std::string::npos,
                  std::string(c.name) == "log on standard error")
            << run.errors;
    }
}

TEST(BackendProbeTest, AFailedReadingAnswersOneAndSettlesNothing) {
    // Parsing the proxy URL needs the heap, whose first allocation fails.
    const HostRun run = RunHost(
        "failing", {{"http_proxy", "http://127.0.0.1:3128/long-enough"}, {"no_proxy", "*"}});
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_NE(run.output.find("InternetQueryOption failed! (8)\n"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("log folder after the failure: absent"), std::string::npos);
    EXPECT_EQ(run.Answers(), "answers: 1 0") << "the second call reads the settings again";
    EXPECT_EQ(run.StartupRecords(), 1) << run.log;
}

}  // namespace

// The log component: levels per thread, attached sinks, the files it writes, and many
// threads writing at once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <latch>
#include <map>
#include <ranges>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "RVUtil/LogObserver.h"
#include "RVUtil/ThreadId.h"
#include "log/PXLog.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"

using RVUtil::log::CPXLog;

namespace fs = std::filesystem;

namespace {

std::vector<std::string> ReadLines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// time, level, kernel thread id, text
const std::regex kRecordLine(
    R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[([A-Z0-9]+)\] \[(\d+)\] (.*)$)");

TEST(PXLogTest, StorageCreatesTheFolderAndEveryRecordIsInTheFileOnReturn) {
    const rvtest::TempDir tmp("pxlog");
    const fs::path folder = tmp / "nested/Log";
    CPXLog log;
    log.storage(folder.c_str(), "PX", "RVUtil", false, false);
    const fs::path file = folder / "PX_RVUtil.log";

    testing::internal::CaptureStderr();
    log(CPXLog::LVL_ERROR).Write("[Http Send Error]ErrorCode=%d, Url=%s", 12029, "http://a/");
    // Read while the logger is still open: nothing may wait in a buffer.
    auto lines = ReadLines(file);
    ASSERT_EQ(lines.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kRecordLine)) << lines[0];
    EXPECT_EQ(m[2], std::to_string(GetCurrentThreadId()));
    EXPECT_EQ(m[3], "[Http Send Error]ErrorCode=12029, Url=http://a/");

    // Naming the same place again appends; the file is never truncated.
    log.storage(folder.c_str(), "PX", "RVUtil", false, false);
    log(CPXLog::LVL_NOTICE).Write("RVUtil_IsUseWinInet Init");
    EXPECT_EQ(ReadLines(file).size(), 2u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "file only once storage is set";
}

// A URL or header value from a hostile server or user must not split its record into
// several lines or forge one; hosts' observers see the same escaped text.
TEST(PXLogTest, ControlCharactersAreEscapedSoEveryRecordIsOneLine) {
    struct Observer : RVUtil::IRVLogObserver {
        std::vector<std::string> texts;
        void OnLogRecord(int, const char* text) override { texts.emplace_back(text); }
    } observer;
    const rvtest::TempDir tmp("pxlog");
    CPXLog& log = RVUtil::LogChannel();
    CPXLog own;
    own.storage(tmp.Path().c_str(), "PX", "T", false, false);

    RVUtil::RVUtil_gfnAddLogObserver(&observer);
    const char* url = "http://a/x\r\n2026-01-01 00:00:00.000 [ERROR] [1] forged\x01\t\x7f";
    log(CPXLog::LVL_ERROR).Write("Url=%s", url);
    RVUtil::RVUtil_gfnRemoveLogObserver(&observer);
    log.Write("not observed");
    own(CPXLog::LVL_ERROR).Write("Url=%s", url);

    const std::string escaped =
        "Url=http://a/x\\r\\n2026-01-01 00:00:00.000 [ERROR] [1] forged\\x01\\t\\x7f";
    EXPECT_EQ(observer.texts, std::vector<std::string>{escaped});
    const auto lines = ReadLines(tmp / "PX_T.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with("] " + escaped)) << lines[0];
}

TEST(PXLogTest, FolderThatCannotBeWrittenIsNotFatal) {
    const rvtest::TempDir tmp("pxlog");
    const fs::path blocker = tmp / "plain-file";
    std::ofstream(blocker) << "not a folder";
    const fs::path folder = blocker / "Log";  // even root cannot make a folder under a file

    CPXLog log;
    rvtest::LogCapture capture(log);
    testing::internal::CaptureStderr();
    log.storage(folder.c_str(), "PX", "RVUtil", true, false);
    log.storage(nullptr, "PX", "RVUtil", true, false);
    log(CPXLog::LVL_ERROR).Write("still recorded");
    const std::string err = testing::internal::GetCapturedStderr();

    const auto records = capture.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].level, CPXLog::LVL_WARNING);
    EXPECT_NE(records[0].text.find(folder.string()), std::string::npos);
    EXPECT_NE(err.find("] still recorded\n"), std::string::npos);
}

// Many threads, each choosing a level and writing with no lock of its own: every record
// arrives once, whole, with the level its own thread chose, in its thread's order.
TEST(PXLogTest, ConcurrentWritersLoseAndTearNothing) {
    constexpr int kThreads = 8;
    constexpr int kRecords = 400;
    const CPXLog::Lvl levels[] = {CPXLog::LVL_ERROR, CPXLog::LVL_NOTICE, CPXLog::LVL_DEBUG};
    const std::string padding(300, '.');

    const rvtest::TempDir tmp("pxlog");
    CPXLog log;
    log.storage(tmp.Path().c_str(), "PX", "RVUtil", false, false);
    rvtest::LogCapture capture(log);

    {
        std::latch start(kThreads);
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int i = 0; i < kRecords; ++i) {
                    const CPXLog::Lvl level = levels[(t + i) % 3];
                    log(level).Write("t=%d i=%d l=%d %s", t, i, static_cast<int>(level),
                                     padding.c_str());
                }
            });
        }
    }

    const std::regex body(R"(^t=(\d+) i=(\d+) l=(\d+) (\.+)$)");
    auto check = [&](const std::string& text, int level, std::vector<int>& next) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, body)) << text;
        const int t = std::stoi(m[1]);
        ASSERT_EQ(std::stoi(m[2]), next[t]++);
        ASSERT_EQ(std::stoi(m[3]), level);
        ASSERT_EQ(m[4].length(), padding.size());
    };

    std::vector<int> next(kThreads, 0);
    for (const auto& r : capture.Records()) {
        check(r.text, r.level, next);
    }

    const auto lines = ReadLines(tmp / "PX_RVUtil.log");
    ASSERT_EQ(lines.size(), std::size_t{kThreads * kRecords});
    const std::map<std::string, int> byName = {
        {"ERROR", CPXLog::LVL_ERROR}, {"NOTICE", CPXLog::LVL_NOTICE}, {"DEBUG", CPXLog::LVL_DEBUG}};
    EXPECT_EQ(next, std::vector<int>(kThreads, kRecords));  // every record heard
    std::fill(next.begin(), next.end(), 0);
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kRecordLine)) << line;
        check(m[3], byName.at(m[1]), next);
    }
}

}  // namespace

// The read functions against servers that misbehave on the wire: heads and bodies that
// trickle, stall, end early or lie about their size, bodies without end, and header blocks
// that are large or end their lines in LF alone. Whatever the server does, the call ends
// within a few time-outs, never hands a damaged body over as ERR_OK, and stays within the
// body limit.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "ChildProcess.h"
#include "CompressedBodies.h"
#include "RVUtil/BodyLimit.h"
#include "ReadFamilies.h"
#include "ScriptedServer.h"

namespace rvtest {
namespace {

using namespace std::chrono_literals;

constexpr unsigned long kTimeout = 1000;
constexpr long long kSmallLimit = 64 * 1024;

template <class Family>
class HostileServerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_fetcher.Init()); }
    void TearDown() override { RVUtil_gfnSetBodyLimit(0); }

    ScriptedServer m_server;
    typename Family::Fetcher m_fetcher;
};

TYPED_TEST_SUITE(HostileServerTest, Families);

TYPED_TEST(HostileServerTest, EveryResponseEndsInTimeAndNoDamagedBodyIsHandedOver) {
    const std::string text(3000, 't');
    const std::string gzip = GzipText(text);
    const std::string length100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    std::string manyHeaders;
    for (int i = 0; i < 200; ++i) {
        manyHeaders += "X-Filler-" + std::to_string(i) + ": " + std::string(40, 'f') + "\r\n";
    }
    Reply interimForEver;
    for (int i = 0; i < 60; ++i) {
        interimForEver.Send("HTTP/1.1 100 Continue\r\n\r\n").Delay(100ms);
    }
    struct Case {
        const char* name;
        Reply reply;
        ErrorCode code;
        std::string body = {};  // for ERR_OK
        std::string url = {};
    };
    const std::string refused = RefusedUrl("/h");
    const Case cases[] = {
        {"connection refused", Reply(), ERR_REQUEST, "", refused},
        {"head trickled", Reply().Trickle(length100 + std::string(100, 'a'), 1, 200ms),
         ERR_REQUEST},
        {"100 Continue for ever", interimForEver, ERR_REQUEST},
        {"body trickled", Reply(length100).Trickle(std::string(100, 'a'), 1, 200ms), ERR_REQUEST},
        {"body stalled", Reply(length100 + "abc").Hang(), ERR_REQUEST},
        {"closed before its length", Reply(length100 + "abcde").Close(), ERR_REQUEST},
        {"reset before its length", Reply(length100 + "abcde").Delay(50ms).Reset(), ERR_REQUEST},
        {"chunk size zz", Reply(chunked + "2\r\nok\r\nzz\r\n"), ERR_REQUEST},
        {"chunk size ffffffffffffffff", Reply(chunked + "ffffffffffffffff\r\nabc"), ERR_REQUEST},
        {"closed before the last chunk", Reply(chunked + "2\r\nok\r\n").Close(), ERR_REQUEST},
        {"length 4294967296, 5 bytes sent",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\nabcde").Close(), ERR_REQUEST},
        {"declared length over the limit",
         Reply(HttpResponse(200, std::string(kSmallLimit + 1, 'o'))), ERR_REQUEST},
        {"body over the limit, no length",
         Reply("HTTP/1.0 200 OK\r\n\r\n" + std::string(kSmallLimit + 1, 'o')).Close(), ERR_REQUEST},
        {"chunked body over the limit",
         Reply(chunked + Chunked(std::string(kSmallLimit + 1, 'o'), 5000)), ERR_REQUEST},
        {"body at the limit", Reply(HttpResponse(200, std::string(kSmallLimit, 'o'))), ERR_OK,
         std::string(kSmallLimit, 'o')},
        {"verdict behind many headers",
         Reply("HTTP/1.1 200 OK\r\n" + manyHeaders +
               "RV_Error: denied\r\nContent-Length: 4\r\n\r\nbody"),
         ERR_SERVER_VERDICT},
        {"gzip behind many headers",
         Reply(HttpResponse(200, gzip,
                            {{"X-Big", std::string(3000, 'b')}, {"Content-Encoding", "gzip"}})),
         ERR_OK, text},
        {"verdict in a head of LF endings",
         Reply("HTTP/1.1 200 OK\nContent-Length: 4\nX-A: b\nRV_Error: denied\n\nbody"),
         ERR_SERVER_VERDICT},
        {"gzip in a head of mixed endings",
         Reply("HTTP/1.1 200 OK\nContent-Encoding: gzip\r\nContent-Length: " +
               std::to_string(gzip.size()) + "\n\r\n" + gzip),
         ERR_OK, text},
    };
    RVUtil_gfnSetBodyLimit(kSmallLimit);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        this->m_server.Clear();
        this->m_server.Enqueue(c.reply);
        unsigned char* out = nullptr;
        long size = -1;
        CString message;
        const auto start = std::chrono::steady_clock::now();
        const std::string url = c.url.empty() ? this->m_server.Url("/h") : c.url;
        const ErrorCode code =
            TypeParam::Full(&this->m_fetcher, url.c_str(), &out, size, message, nullptr, kTimeout);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(code, c.code);
        if (code == ERR_OK) {
            EXPECT_TRUE(std::string(reinterpret_cast<const char*>(out), size) == c.body)
                << "a body of " << size << " bytes, not the one sent";
        } else {
            EXPECT_EQ(out, nullptr);
        }
        if (c.code == ERR_REQUEST) {
            EXPECT_EQ(message, "Request error! Timeout=1000");
            EXPECT_EQ(size, -1);
        }
        delete[] out;
    }
}

// A body without end fails at the limit, and the process never holds much more than the
// limit (measured in a child process as the growth of its peak resident size). The limit is
// above the C library's largest heap block, as the default is: below it, a growing block
// may be copied, so a few MiB can cost twice their size for a moment.
TYPED_TEST(HostileServerTest, AnEndlessBodyFailsWithinTheMemoryOfItsLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators copy on every growth and keep freed memory";
#endif
    constexpr long long kLimit = 64LL << 20;
    const std::string endless(kLimit + (1 << 20), 'e');
    std::string chunked = Chunked(endless, 64 * 1024);
    chunked.resize(chunked.size() - 5);  // no last chunk
    const Reply replies[] = {
        Reply("HTTP/1.0 200 OK\r\n\r\n" + endless).Close(),
        Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked).Close()};
    for (const Reply& reply : replies) {
        this->m_server.Enqueue(reply);
        const pid_t pid = fork();
        if (pid == 0) {
            RVUtil_gfnSetBodyLimit(kLimit);
            WriteFile("/proc/self/clear_refs", "5");  // the peak starts from here
            const long rssKiB = PeakResidentKiB();
            unsigned char* out = nullptr;
            long size = 0;
            CString message;
            const ErrorCode code =
                TypeParam::Full(&this->m_fetcher, this->m_server.Url("/endless").c_str(), &out,
                                size, message, nullptr, 10000);
            const long long grownBytes = (PeakResidentKiB() - rssKiB) * 1024LL;
            _exit(code != ERR_REQUEST ? 1 : grownBytes > kLimit * 16 / 10 ? 2 : 0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not ERR_REQUEST, 2: peak over 1.6 x the limit";
    }
}

}  // namespace
}  // namespace rvtest

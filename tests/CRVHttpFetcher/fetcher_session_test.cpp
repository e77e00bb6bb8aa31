// CRVHttpFetcher's life cycle, URL cracking and buffer, which need no server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "FetcherTestSupport.h"
#include "LogCapture.h"

namespace {

using rvtest::TestFetcher;
using Protocol = RVUtil::CRVHttpFetcher::Protocol;

TEST(FetcherLifecycleTest, InitFiniAndTheHelpers) {
    TestFetcher f;
    EXPECT_EQ(f.IsSessionReady(0), 0) << "asking without create opens nothing";
    // A request on a fetcher never initialised opens a session but has no buffer.
    EXPECT_EQ(f.Request("http://127.0.0.1:1/", nullptr, nullptr, 100), 0u);
    EXPECT_EQ(f.IsSessionReady(0), 1);
    EXPECT_EQ(f.IsInit(), 0);
    f.Fini();

    ASSERT_EQ(f.Init(), 1);
    f.FiniHelper();
    EXPECT_EQ(f.IsInit(), 0);
    EXPECT_EQ(f.IsDataBufferReady(), 1);
    EXPECT_EQ(f.IsSessionReady(1), 1);
    EXPECT_EQ(f.IsInit(), 1);

    // Fini releases the buffer but leaves the header lists and the status alone.
    f.AddHeader("X-Kept", "1");
    char line[] = "Server: test";
    f.ParseHeader(line);
    f.Fini();
    EXPECT_EQ(f.GetResponse(), nullptr);
    EXPECT_EQ(f.Capacity(), 0);
    EXPECT_EQ(f.RequestHeaders().GetSize(), 2);
    EXPECT_EQ(f.FindHeader("server"), "test");
    // Init again, also without Fini in between, gives a working object.
    ASSERT_EQ(f.Init(), 1);
    ASSERT_EQ(f.Init(), 1);
    EXPECT_EQ(f.IsInit(), 1);
}

// The parts themselves are the transport's (tests/transport); here, the canonical URL
// written back, the protocols, and nothing written for a URL refused (another scheme, a
// host of 256 characters, a path too long for its buffer).
TEST(FetcherCrackUrlTest, WritesBackTheCanonicalUrlAndNamesTheProtocol) {
    const std::string untouched = "untouched";
    const std::string host255(255, 'h');
    const std::string longPath = "http://h?" + std::string(2047 - 9, 'q');
    const struct {
        std::string url;
        Protocol protocol;
        std::string canonical, host, path;
        unsigned short port;
    } cases[] = {
        {"http://www.example.com/a/../index.php?q=1&r=a b", Protocol::PROTOCOL_HTTP,
         "http://www.example.com/index.php?q=1&r=a b", "www.example.com", "/index.php?q=1&r=a b",
         80},
        {"https://s.example.com:8443/x", Protocol::PROTOCOL_HTTP, "https://s.example.com:8443/x",
         "s.example.com", "/x", 8443},
        {"ftp://f.example.com/f", Protocol::PROTOCOL_FTP, "ftp://f.example.com/f", "f.example.com",
         "/f", 21},
        {"http://" + host255 + "/", Protocol::PROTOCOL_HTTP, "http://" + host255 + "/", host255,
         "/", 80},
        {"file:///etc/hosts", Protocol::PROTOCOL_UNKNOWN, "", untouched, untouched, 7},
        {"mailto:a@example.com", Protocol::PROTOCOL_UNKNOWN, "", untouched, untouched, 7},
        {"not a url", Protocol::PROTOCOL_UNKNOWN, "", untouched, untouched, 7},
        {"http://h" + std::string(255, 'h') + "/", Protocol::PROTOCOL_UNKNOWN, "", untouched,
         untouched, 7},
        {longPath, Protocol::PROTOCOL_UNKNOWN, "", untouched, untouched, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.substr(0, 40));
        TestFetcher f;
        char buffer[2048] = {};
        std::strncpy(buffer, c.url.c_str(), sizeof buffer - 1);
        char host[256] = "untouched";
        char path[2048] = "untouched";
        unsigned short port = 7;
        EXPECT_EQ(f.CrackUrl(buffer, host, path, &port), c.protocol);
        if (!c.canonical.empty()) {
            EXPECT_EQ(buffer, c.canonical);
        }
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(port, c.port);
    }
    TestFetcher f;
    char buffer[2048] = "http://h:81/p";
    unsigned short port = 0;
    EXPECT_EQ(f.CrackUrl(buffer, nullptr, nullptr, &port), Protocol::PROTOCOL_HTTP);
    EXPECT_EQ(port, 81);
}

TEST(FetcherBufferTest, SaveDataGrowsToExactlyWhatIsNeeded) {
    TestFetcher f;
    BYTE bytes[5000];
    std::memset(bytes, 'z', sizeof bytes);
    EXPECT_EQ(f.SaveData(bytes, 10), 0) << "no buffer before Init";
    ASSERT_EQ(f.Init(), 1);
    EXPECT_EQ(f.SaveData(nullptr, 10), 0);
    EXPECT_EQ(f.SaveData(bytes, 0), 0);
    EXPECT_EQ(f.SaveData(bytes, 2000), 1);
    EXPECT_EQ(f.Capacity(), 2048);
    EXPECT_EQ(f.SaveData(bytes, 5000), 1);
    EXPECT_EQ(f.Capacity(), 7000);
    EXPECT_EQ(f.SaveData(bytes, 3000), 1);
    EXPECT_EQ(f.Capacity(), 10000);
    EXPECT_EQ(f.GetResponseSize(), 10000);
    // A size beyond the 32-bit count fails and changes nothing.
    EXPECT_EQ(f.SaveData(bytes, 0xFFFFFFF0u), 0);
    EXPECT_EQ(f.GetResponseSize(), 10000);
    EXPECT_EQ(f.Capacity(), 10000);
    f.EndRequest();
    EXPECT_EQ(f.GetResponseSize(), 0);
    EXPECT_NE(f.GetResponse(), nullptr);
    EXPECT_EQ(f.Capacity(), 10000) << "the buffer is kept for the next request";
}

}  // namespace

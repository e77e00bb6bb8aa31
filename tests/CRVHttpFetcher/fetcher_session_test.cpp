// CRVHttpFetcher's life cycle, URL cracking and buffer, which need no server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "DescriptorLimit.h"
#include "FetcherTestSupport.h"
#include "LogCapture.h"

namespace {

using rvtest::TestFetcher;
using Protocol = RVUtil::CRVHttpFetcher::Protocol;

TEST(FetcherLifecycleTest, InitFiniAndTheHelpers) {
    TestFetcher f;
    EXPECT_EQ(f.IsInit(), 0);
    EXPECT_EQ(f.IsSessionReady(0), 0);
    EXPECT_EQ(f.IsSessionReady(0), 0) << "asking without create opens nothing";
    EXPECT_EQ(f.GetResponse(), nullptr);

    // A request on a fetcher never initialised opens a session but has no buffer.
    EXPECT_EQ(f.Request("http://127.0.0.1:1/", nullptr, nullptr, 100), 0u);
    EXPECT_EQ(f.IsSessionReady(0), 1);
    EXPECT_EQ(f.IsInit(), 0);
    f.Fini();

    ASSERT_EQ(f.Init(), 1);
    EXPECT_EQ(f.IsInit(), 1);
    EXPECT_EQ(f.Capacity(), 2048);
    EXPECT_EQ(f.InitHelper(), 1);
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
    EXPECT_EQ(f.GetResponseSize(), 0);
    EXPECT_EQ(f.Capacity(), 0);
    EXPECT_EQ(f.RequestHeaders().GetSize(), 2);
    EXPECT_EQ(f.FindHeader("server"), "test");

    // Init again, also without Fini in between, gives a working object.
    ASSERT_EQ(f.Init(), 1);
    ASSERT_EQ(f.Init(), 1);
    EXPECT_EQ(f.IsInit(), 1);
}

TEST(FetcherLifecycleTest, InitReportsASessionThatCannotBeOpened) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' run-time needs descriptors of its own to check a throw";
#endif
    rvtest::LogCapture log;
    TestFetcher f;
    // With no descriptor left the session's I/O loop cannot be set up.
    int result = -1;
    int ready = -1;
    {
        rvtest::NoFreeDescriptors none;
        ASSERT_TRUE(none.Armed());
        result = f.Init();
        ready = f.IsSessionReady(1);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ready, 0);
    EXPECT_EQ(f.IsInit(), 0);
    EXPECT_EQ(f.GetResponse(), nullptr);
    ASSERT_EQ(log.Records().size(), 1u) << "IsSessionReady logs nothing";
    EXPECT_TRUE(log.Contains(CPXLog::LVL_ERROR, "[Http Init Error]ErrorCode=12004"));
}

struct Cracked {
    Protocol protocol;
    std::string url;
    std::string host = "untouched";
    std::string path = "untouched";
    unsigned short port = 7;
};

Cracked crack(const std::string& url) {
    TestFetcher f;
    char buffer[2048] = {};
    std::strncpy(buffer, url.c_str(), sizeof buffer - 1);
    char host[256] = "untouched";
    char path[2048] = "untouched";
    Cracked out{};
    out.port = 7;
    out.protocol = f.CrackUrl(buffer, host, path, &out.port);
    out.url = buffer;
    out.host = host;
    out.path = path;
    return out;
}

// The parts themselves are the transport's (tests/transport); here, the canonical URL
// written back, the protocols, and out-parameters left null.
TEST(FetcherCrackUrlTest, WritesBackTheCanonicalUrlAndNamesTheProtocol) {
    Cracked c = crack("http://www.example.com/a/../index.php?q=1&r=a b");
    EXPECT_EQ(c.protocol, RVUtil::CRVHttpFetcher::PROTOCOL_HTTP);
    EXPECT_EQ(c.url, "http://www.example.com/index.php?q=1&r=a b");
    EXPECT_EQ(c.host, "www.example.com");
    EXPECT_EQ(c.path, "/index.php?q=1&r=a b");
    EXPECT_EQ(c.port, 80);
    EXPECT_EQ(crack("https://secure.example.com/x").protocol,
              RVUtil::CRVHttpFetcher::PROTOCOL_HTTP);
    EXPECT_EQ(crack("ftp://files.example.com/f").protocol, RVUtil::CRVHttpFetcher::PROTOCOL_FTP);

    TestFetcher f;
    char buffer[2048] = "http://h:81/p";
    unsigned short port = 0;
    EXPECT_EQ(f.CrackUrl(buffer, nullptr, nullptr, &port), RVUtil::CRVHttpFetcher::PROTOCOL_HTTP);
    EXPECT_EQ(port, 81);
}

TEST(FetcherCrackUrlTest, RefusesOtherSchemesAndOversizedPartsWritingNothing) {
    const std::string longHost(256, 'h');
    for (const std::string& url :
         {std::string("file:///etc/hosts"), std::string("mailto:a@example.com"),
          std::string("not a url"), "http://" + longHost + "/",
          "http://h?" + std::string(2047 - 9, 'q')}) {
        const Cracked c = crack(url);
        EXPECT_EQ(c.protocol, RVUtil::CRVHttpFetcher::PROTOCOL_UNKNOWN) << url.substr(0, 40);
        EXPECT_EQ(c.host, "untouched");
        EXPECT_EQ(c.path, "untouched");
        EXPECT_EQ(c.port, 7);
    }
    // A host name of 255 characters still fits with its terminator.
    EXPECT_EQ(crack("http://" + std::string(255, 'h') + "/").protocol,
              RVUtil::CRVHttpFetcher::PROTOCOL_HTTP);
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

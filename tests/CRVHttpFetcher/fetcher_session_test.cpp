// CRVHttpFetcher's life cycle, URL cracking, header lists and the helpers that need no
// server.
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

TEST(FetcherCrackUrlTest, SplitsHttpHttpsAndFtp) {
    Cracked c = crack("http://www.example.com/a/../index.php?q=1&r=a b");
    EXPECT_EQ(c.protocol, RVUtil::CRVHttpFetcher::PROTOCOL_HTTP);
    EXPECT_EQ(c.url, "http://www.example.com/index.php?q=1&r=a b");
    EXPECT_EQ(c.host, "www.example.com");
    EXPECT_EQ(c.path, "/index.php?q=1&r=a b");
    EXPECT_EQ(c.port, 80);

    c = crack("https://secure.example.com/x");
    EXPECT_EQ(c.protocol, RVUtil::CRVHttpFetcher::PROTOCOL_HTTP);
    EXPECT_EQ(c.port, 443);
    EXPECT_EQ(crack("https://secure.example.com:8443/x").port, 8443);
    EXPECT_EQ(crack("ftp://files.example.com/f").protocol, RVUtil::CRVHttpFetcher::PROTOCOL_FTP);

    // Null out-parameters are simply not delivered.
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

TEST(FetcherHeaderListTest, RequestHeadersAreCaseSensitiveAndKeepTheirPlace) {
    TestFetcher f;
    f.AddHeader("Accept", "a");
    f.AddHeader("X-Two", "2");
    f.AddHeader("Accept", "b");
    f.AddHeader("accept", "c");
    f.AddHeader("Empty", nullptr);
    // Refused, with a WARNING record each: nothing of them is stored.
    rvtest::LogCapture log;
    for (const auto& [name, value] :
         std::vector<std::pair<const char*, const char*>>{{"", "v"},
                                                          {nullptr, "v"},
                                                          {"X-A", "v\r\nInjected: yes"},
                                                          {"X-B", "v\nHost: evil"},
                                                          {"Bad Name", "v"},
                                                          {"Bad:Name", "v"}}) {
        f.AddHeader(name, value);
    }
    EXPECT_EQ(log.Records().size(), 6u);
    EXPECT_TRUE(log.Contains(CPXLog::LVL_WARNING,
                             "Request header refused (CR, LF or NUL in the value): X-B"));
    const CStringArray& list = f.RequestHeaders();
    ASSERT_EQ(list.GetSize(), 8);
    EXPECT_EQ(list[0], "Accept");
    EXPECT_EQ(list[1], "b");
    EXPECT_EQ(list[4], "accept");
    EXPECT_EQ(list[7], "");
    f.RemoveHeader("ACCEPT");
    EXPECT_EQ(list.GetSize(), 8);
    f.RemoveHeader("Accept");
    f.RemoveHeader(nullptr);
    ASSERT_EQ(list.GetSize(), 6);
    EXPECT_EQ(list[0], "X-Two");
}

TEST(FetcherHeaderListTest, ParseHeaderRecordsOnlyNameColonSpaceValue) {
    TestFetcher f;
    for (const char* text :
         {"Content-Type: text/html", "Tight:value", "HTTP/1.1 200 OK", ": no name",
          "Empty: ", "Padded:  two", "Set-Cookie: a=1", "set-cookie: b=2"}) {
        std::string line = text;
        f.ParseHeader(line.data());
    }
    const CStringArray& list = f.ResponseHeaders();
    ASSERT_EQ(list.GetSize(), 10);
    EXPECT_EQ(f.FindHeader("content-type"), "text/html");
    EXPECT_EQ(f.FindHeader("Tight"), "");
    EXPECT_EQ(list[2], "Empty");
    EXPECT_EQ(list[3], "");
    EXPECT_EQ(f.FindHeader("PADDED"), " two");
    EXPECT_EQ(f.FindHeader("Set-Cookie"), "a=1") << "the first of two wins";
    f.EndRequest();
    EXPECT_EQ(list.GetSize(), 0);
    EXPECT_EQ(f.FindHeader("content-type"), "");
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

TEST(FetcherBufferTest, TimeSlotsAreTheCallersOwn) {
    TestFetcher f;
    f.SetReq(12);
    f.SetZip(34);
    EXPECT_EQ(f.ReqTime(), 12u);
    EXPECT_EQ(f.ZipTime(), 34u);
    f.ClearTime();
    EXPECT_EQ(f.ReqTime(), 0u);
    EXPECT_EQ(f.ZipTime(), 0u);
}

}  // namespace

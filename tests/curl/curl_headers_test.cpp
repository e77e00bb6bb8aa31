// What the curl fetcher makes of its request headers: libcurl's header list, the empty
// value that suppresses a header, and an Accept-Encoding naming gzip, which hands gzip (and
// every decoder libcurl has) to libcurl. (Removing it again in another letter case, which
// takes the setting back but keeps the line, is what the integration suite does.)
#include "CurlTestFixture.h"

namespace rvtest {
namespace {

class CurlHeadersTest : public CurlTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_fetcher.Init());
        m_server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    }

    // The head of one request sent now.
    std::string SentHead() {
        const std::size_t before = m_server.RequestCount();
        m_fetcher.EndRequest();
        EXPECT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
        const auto requests = m_server.Requests();
        return requests.size() > before ? std::string(requests.back().Head()) : std::string();
    }

    TestedImpl m_fetcher;
};

TEST_F(CurlHeadersTest, TheListFollowsThePairsAndAnEmptyValueSuppressesTheHeader) {
    EXPECT_NE(SentHead().find("\r\nAccept: */*\r\n"), std::string::npos);
    m_fetcher.AddHeader("X-A", "1");
    m_fetcher.AddHeader("Accept", nullptr);
    m_fetcher.AddHeader("X-Bad", "v\r\n");
    EXPECT_EQ(Access::HeaderListLines(m_fetcher), (std::vector<std::string>{"X-A:1", "Accept:"}));
    EXPECT_EQ(SentHead().find("Accept"), std::string::npos);
    m_fetcher.RemoveHeader("X-Unknown");
    m_fetcher.RemoveHeader("Accept");
    EXPECT_EQ(Access::HeaderListLines(m_fetcher), std::vector<std::string>{"X-A:1"});
    m_fetcher.RemoveHeader("X-A");
    EXPECT_FALSE(Access::HasHeaderList(m_fetcher));
    EXPECT_EQ(SentHead().find("X-A"), std::string::npos);
}

TEST_F(CurlHeadersTest, AcceptEncodingNamingGzipHandsGzipToLibcurl) {
    m_fetcher.AddHeader("accept-ENCODING", "GZIP, deflate");
    EXPECT_TRUE(Access::CurlDecodesGzip(m_fetcher));
    const std::string body = std::string(5000, 't');
    m_server.Enqueue(Reply(HttpResponse(200, GzipBody(body), {{"Content-Encoding", "gzip"}})));
    EXPECT_NE(SentHead().find("\r\naccept-ENCODING:GZIP, deflate\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(m_fetcher), body);
    EXPECT_FALSE(m_fetcher.IsEncoding());

    // Another value leaves libcurl's setting and the flag; only the line changes.
    m_fetcher.AddHeader("accept-ENCODING", "br");
    EXPECT_TRUE(Access::CurlDecodesGzip(m_fetcher));
    m_server.Enqueue(Reply(HttpResponse(200, GzipBody(body), {{"Content-Encoding", "gzip"}})));
    EXPECT_NE(SentHead().find("\r\naccept-ENCODING:br\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(m_fetcher), body);

    // zstd is among libcurl's decoders in some builds.
    m_server.Enqueue(Reply(HttpResponse(200, ZstdBody(body), {{"Content-Encoding", "zstd"}})));
    SentHead();
    const bool libcurlZstd =
        (curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_ZSTD) != 0;
    EXPECT_EQ(m_fetcher.IsEncoding() != 0, !libcurlZstd);
    if (libcurlZstd) {
        EXPECT_EQ(BodyOf(m_fetcher), body);
    }

    // Corrupt gzip that libcurl decodes fails the request.
    const std::string url = m_server.Url();
    m_server.Enqueue(Reply(HttpResponse(200, "garbage, not gzip", {{"Content-Encoding", "gzip"}})));
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 0u);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{SendError(CURLE_BAD_CONTENT_ENCODING, 200, url), kDetail}));
}

}  // namespace
}  // namespace rvtest

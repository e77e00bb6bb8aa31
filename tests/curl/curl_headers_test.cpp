// Request header pairs, the lines libcurl sends for them, and the Accept-Encoding rule.
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
        EXPECT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
        const auto requests = m_server.Requests();
        return requests.size() > before ? std::string(requests.back().Head()) : std::string();
    }

    TestedImpl m_fetcher;
};

TEST_F(CurlHeadersTest, AddingAKnownNameReplacesItsValueInPlaceNamesMatchingByCase) {
    m_fetcher.AddHeader("X-Id", "1");
    m_fetcher.AddHeader("X-Other", "a");
    m_fetcher.AddHeader("x-id", "3");  // another header
    m_fetcher.AddHeader("X-Id", "2");
    EXPECT_EQ(Flat(m_fetcher.RequestHeaders()),
              (std::vector<std::string>{"X-Id", "2", "X-Other", "a", "x-id", "3"}));
    EXPECT_EQ(Access::HeaderListLines(m_fetcher),
              (std::vector<std::string>{"X-Id:2", "X-Other:a", "x-id:3"}));
    const std::string head = SentHead();
    EXPECT_NE(head.find("\r\nX-Id:2\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nx-id:3\r\n"), std::string::npos);
    EXPECT_EQ(head.find("X-Id:1"), std::string::npos);
}

// A name or value that could end its line and start another is refused with a WARNING
// record; nothing is stored and nothing of it reaches the wire.
TEST_F(CurlHeadersTest, HeadersThatCouldSplitTheRequestAreRefused) {
    const std::pair<const char*, const char*> refused[] = {
        {nullptr, "v"},
        {"", "v"},
        {"X A", "v"},
        {"X:A", "v"},
        {"X\r\nInjected", "v"},
        {"X-A", "v\r\nInjected: yes\r\n\r\nGET /smuggled HTTP/1.1\r\nHost: evil"},
        {"X-A", "v\nInjected: yes"},
        {"X-A", "v\rInjected: yes"},
    };
    for (const auto& [name, value] : refused) {
        m_fetcher.AddHeader(name, value);
    }
    EXPECT_EQ(m_fetcher.RequestHeaders().GetSize(), 0);
    EXPECT_FALSE(Access::HasHeaderList(m_fetcher));
    const auto records = m_log.Records();
    ASSERT_EQ(records.size(), std::size(refused));
    for (const LogRecord& record : records) {
        EXPECT_EQ(record.level, CPXLog::LVL_WARNING);
    }
    const std::string head = SentHead();
    EXPECT_EQ(head.find("Injected"), std::string::npos);
    EXPECT_EQ(m_server.RequestCount(), 1u);
}

TEST_F(CurlHeadersTest, EmptyValuesSuppressTheHeader) {
    EXPECT_NE(SentHead().find("\r\nAccept: */*\r\n"), std::string::npos);
    m_fetcher.AddHeader("Accept", nullptr);
    EXPECT_EQ(Access::HeaderListLines(m_fetcher), std::vector<std::string>{"Accept:"});
    EXPECT_EQ(SentHead().find("Accept"), std::string::npos);
}

TEST_F(CurlHeadersTest, RemovingRebuildsTheListAndTheLastRemovalInstallsNone) {
    m_fetcher.AddHeader("X-A", "1");
    m_fetcher.AddHeader("X-B", "2");
    m_fetcher.RemoveHeader("X-Unknown");
    EXPECT_EQ(Access::HeaderListLines(m_fetcher), (std::vector<std::string>{"X-A:1", "X-B:2"}));
    m_fetcher.RemoveHeader("X-A");
    EXPECT_EQ(Access::HeaderListLines(m_fetcher), std::vector<std::string>{"X-B:2"});
    std::string head = SentHead();
    EXPECT_EQ(head.find("X-A"), std::string::npos);
    EXPECT_NE(head.find("\r\nX-B:2\r\n"), std::string::npos);
    m_fetcher.RemoveHeader("X-B");
    EXPECT_FALSE(Access::HasHeaderList(m_fetcher));
    EXPECT_EQ(SentHead().find("X-B"), std::string::npos);
}

TEST_F(CurlHeadersTest, AcceptEncodingNamingGzipHandsGzipToLibcurl) {
    m_fetcher.AddHeader("accept-ENCODING", "GZIP, deflate");
    EXPECT_TRUE(Access::CurlDecodesGzip(m_fetcher));
    const std::string body = SampleText(5000);
    m_server.Enqueue(Reply(HttpResponse(200, GzipBody(body), {{"Content-Encoding", "gzip"}})));
    const std::string head = SentHead();
    EXPECT_NE(head.find("\r\naccept-ENCODING:GZIP, deflate\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(m_fetcher), body);
    EXPECT_FALSE(m_fetcher.IsEncoding());

    // Another value leaves libcurl's setting and the flag; only the line changes.
    m_fetcher.AddHeader("accept-ENCODING", "br");
    EXPECT_TRUE(Access::CurlDecodesGzip(m_fetcher));
    m_server.Enqueue(Reply(HttpResponse(200, GzipBody(body), {{"Content-Encoding", "gzip"}})));
    EXPECT_NE(SentHead().find("\r\naccept-ENCODING:br\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(m_fetcher), body);
}

TEST_F(CurlHeadersTest, RemovingAcceptEncodingClearsTheSettingButMatchesPairsByCase) {
    m_fetcher.AddHeader("Accept-Encoding", "gzip");
    m_fetcher.RemoveHeader("accept-encoding");
    EXPECT_FALSE(Access::CurlDecodesGzip(m_fetcher));
    EXPECT_EQ(Access::HeaderListLines(m_fetcher), std::vector<std::string>{"Accept-Encoding:gzip"});

    const std::string body = SampleText(3000);
    const std::string packed = GzipBody(body);
    m_server.Enqueue(Reply(HttpResponse(200, packed, {{"Content-Encoding", "gzip"}})));
    EXPECT_NE(SentHead().find("\r\nAccept-Encoding:gzip\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(m_fetcher), packed);  // no longer decoded by libcurl
    EXPECT_TRUE(m_fetcher.IsEncoding());
}

}  // namespace
}  // namespace rvtest

// GET and POST against a scripted server: what goes on the wire, what the fetcher keeps of
// the answer, and how every kind of broken exchange ends.
#include <chrono>
#include <cstring>
#include <memory>

#include "ChildProcess.h"
#include "CurlTestFixture.h"

namespace rvtest {
namespace {

using namespace std::chrono_literals;
using RVUtil::CCurlHttpFetcher;

class CurlRequestTest : public CurlTest {
  protected:
    void SetUp() override { ASSERT_TRUE(m_fetcher.Init()); }

    DWORD Get(const std::string& url, DWORD timeout = 5000) {
        return m_fetcher.Request(url.c_str(), nullptr, nullptr, timeout);
    }

    TestedImpl m_fetcher;
};

TEST_F(CurlRequestTest, GetKeepsBodyStatusAndHeadersErrorStatusesIncludedEmptyBodyIsNull) {
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 0);  // nothing received yet
    m_server.Enqueue(Reply(HttpResponse(200, "hello", {{"Content-Type", "text/plain"}})));
    m_server.Enqueue(Reply(HttpResponse(404, "<h1>gone</h1>")));
    m_server.Enqueue(Reply(HttpResponse(500, "")));
    ASSERT_EQ(Get(m_server.Url("/a/b?c=d")), 1u);
    EXPECT_EQ(BodyOf(m_fetcher), "hello");
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 200);
    EXPECT_EQ(m_fetcher.FindHeader("content-type"), "text/plain");
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].RequestLine(), "GET /a/b?c=d HTTP/1.1");
    EXPECT_EQ(requests[0].Body(), "");

    EXPECT_EQ(Get(m_server.Url()), 1u);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 404);
    EXPECT_EQ(BodyOf(m_fetcher), "<h1>gone</h1>");
    EXPECT_EQ(Get(m_server.Url()), 1u);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 500);
    EXPECT_EQ(m_fetcher.GetResponse(), nullptr);
    EXPECT_EQ(m_fetcher.GetResponseSize(), 0);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(CurlRequestTest, OnlyNameColonSpaceValueLinesOfTheBlockAreRecorded) {
    struct Case {
        const char* raw;
        std::vector<std::string> recorded;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\n\r\n", {"A", "1", "B", "2"}},
        {"HTTP/1.1 200 OK\r\nNoSpace:x\r\nSpaced:  two\r\n: no name\r\nContent-Length: 0\r\n\r\n",
         {"Spaced", " two", "Content-Length", "0"}},
        // Bare line feeds: libcurl accepts them, but no line of the block ends in CR LF.
        {"HTTP/1.1 200 OK\nA: 1\nContent-Length: 2\n\nok", {}},
        // Cut off before the blank line: libcurl takes the close as the end of an empty
        // body, and the walk over the block stops at its end.
        {"HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\n", {"A", "1", "B", "2"}},
    };
    for (const Case& c : cases) {
        m_server.Enqueue(Reply(c.raw).Close());
        ASSERT_EQ(Get(m_server.Url()), 1u) << c.raw;
        EXPECT_EQ(Flat(Access::ResponseHeaders(m_fetcher)), c.recorded) << c.raw;
        m_fetcher.EndRequest();
    }
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(CurlRequestTest, WithoutEndRequestTheFirstResponsesValuesWin) {
    m_server.Enqueue(Reply(HttpResponse(200, "x", {{"Set-Cookie", "a=1"}, {"Set-Cookie", "b=2"}})));
    m_server.Enqueue(Reply(HttpResponse(200, "y", {{"Set-Cookie", "c=3"}, {"X-Second", "yes"}})));
    ASSERT_EQ(Get(m_server.Url()), 1u);
    EXPECT_EQ(m_fetcher.FindHeader("set-cookie"), "a=1");
    ASSERT_EQ(Get(m_server.Url()), 1u);
    EXPECT_EQ(m_fetcher.FindHeader("Set-Cookie"), "a=1");
    EXPECT_EQ(m_fetcher.FindHeader("X-Second"), "yes");

    m_fetcher.EndRequest();
    EXPECT_EQ(m_fetcher.FindHeader("X-Second"), "");
    EXPECT_EQ(BodyOf(m_fetcher), "y");  // the body and status outlive EndRequest
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 200);
}

TEST_F(CurlRequestTest, ChunkedAndLargeBodiesArriveWhole) {
    const std::string chunked = SampleText(10000);
    const std::string large = SampleText(3 * 1024 * 1024 + 17);
    m_server.Enqueue(
        Reply(HttpResponse(200, Chunked(chunked, 777), {{"Transfer-Encoding", "chunked"}})));
    m_server.Enqueue(Reply(HttpResponse(200, large)));
    ASSERT_EQ(Get(m_server.Url()), 1u);
    EXPECT_EQ(BodyOf(m_fetcher), chunked);
    ASSERT_EQ(Get(m_server.Url(), 30000), 1u);
    EXPECT_TRUE(BodyOf(m_fetcher) == large);
}

TEST_F(CurlRequestTest, KeepAliveReusesOneConnectionAndTheBuffers) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, std::string(3000, 'b'))));
    ASSERT_EQ(Get(m_server.Url()), 1u);
    const std::size_t capacity = Access::Body(m_fetcher).Capacity();
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(Get(m_server.Url()), 1u);
        m_fetcher.EndRequest();
    }
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    EXPECT_EQ(Access::Body(m_fetcher).Capacity(), capacity);
    EXPECT_GE(capacity, 3000u);

    m_fetcher.Fini();  // only Fini gives the memory back
    EXPECT_EQ(Access::Body(m_fetcher).Capacity(), 0u);
    EXPECT_EQ(Access::RawHeaders(m_fetcher).Capacity(), 0u);
}

TEST_F(CurlRequestTest, PostSendsExactlyTheGivenBytes) {
    m_server.Enqueue(Reply(HttpResponse(201, "made")));
    m_server.Enqueue(Reply(HttpResponse(200, "")));
    BYTE data[] = {'a', 0, 'b', 0xFF, '\r', '\n'};
    const std::string url = m_server.Url("/post");
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, data, sizeof data), 1u);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 201);
    EXPECT_EQ(BodyOf(m_fetcher), "made");
    // An empty POST with no data at all sends no body (and reads none from elsewhere).
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, nullptr, 0), 1u);

    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].RequestLine(), "POST /post HTTP/1.1");
    EXPECT_NE(requests[0].Head().find("\r\nContent-Length: 6\r\n"), std::string::npos);
    EXPECT_EQ(requests[0].Body(), std::string(reinterpret_cast<char*>(data), sizeof data));
    EXPECT_EQ(requests[1].RequestLine(), "POST /post HTTP/1.1");
    EXPECT_NE(requests[1].Head().find("\r\nContent-Length: 0\r\n"), std::string::npos);
}

TEST_F(CurlRequestTest, GetAfterPostNeitherSendsNorReadsTheOldData) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "ok")));
    {
        auto data = std::make_unique<BYTE[]>(64);
        std::memset(data.get(), 'p', 64);
        ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000, data.get(), 64),
                  1u);
    }  // the data is gone; AddressSanitizer reports any later read of it
    ASSERT_EQ(Get(m_server.Url()), 1u);
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].RequestLine(), "GET / HTTP/1.1");
    EXPECT_EQ(requests[1].Head().find("Content-Length"), std::string::npos);
    EXPECT_EQ(requests[1].Body(), "");
}

TEST_F(CurlRequestTest, FailedPostsLogThePostLine) {
    const std::string refused = "http://127.0.0.1:" + std::to_string(PickFreeLoopbackPort()) + "/";
    const std::string url = m_server.Url();
    BYTE data[] = {'x'};
    EXPECT_EQ(m_fetcher.Request(refused.c_str(), nullptr, nullptr, 5000, data, 1), 0u);
    // A negative length or bytes promised behind null are refused without a transfer.
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, data, -1), 0u);
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, nullptr, 10), 0u);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{SendError(CURLE_COULDNT_CONNECT, 0, refused, "Post "),
                                        SendError(CURLE_BAD_FUNCTION_ARGUMENT, 0, url, "Post "),
                                        SendError(CURLE_BAD_FUNCTION_ARGUMENT, 0, url, "Post ")}));
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

TEST_F(CurlRequestTest, BrokenExchangesFailWithOneLogLineEach) {
    struct Case {
        Reply reply;
        int code;
        int status;
        std::string bodyKept;
        DWORD timeout = 5000;
    };
    const Case cases[] = {
        {Reply("HTTP/1.1 200 OK\r\nX-Seen: 1\r\nContent-Length: 100\r\n\r\nonly ten!!").Close(),
         CURLE_PARTIAL_FILE, 200, "only ten!!"},
        {Reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial").Delay(50ms).Reset(),
         CURLE_RECV_ERROR, 200, "partial"},
        {Reply().Close(), CURLE_GOT_NOTHING, 0, ""},
        {Reply("HTTP/1.1 abc OK\r\nContent-Length: 0\r\n\r\n").Close(), CURLE_UNSUPPORTED_PROTOCOL,
         0, ""},
        {Reply("HELLO THERE\r\n\r\n").Close(), CURLE_UNSUPPORTED_PROTOCOL, 0, ""},
        {Reply("HTTP/1.1 200 OK\r\nno colon at all\r\nContent-Length: 0\r\n\r\n").Close(),
         CURLE_WEIRD_SERVER_REPLY, 200, ""},
        {Reply().Hang(), CURLE_OPERATION_TIMEDOUT, 0, "", 300},
    };
    const std::string url = m_server.Url();
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        m_server.Enqueue(c.reply);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Get(url, c.timeout), 0u) << c.code;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(BodyOf(m_fetcher), c.bodyKept) << c.code;
        EXPECT_EQ(Access::ResponseHeaders(m_fetcher).GetSize(), 0) << c.code;  // none parsed
        expected.push_back(SendError(c.code, c.status, url));
    }
    const std::string refused = "http://127.0.0.1:" + std::to_string(PickFreeLoopbackPort()) + "/x";
    EXPECT_EQ(Get(refused), 0u);
    expected.push_back(SendError(CURLE_COULDNT_CONNECT, 0, refused));
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(CurlRequestTest, ArraysThatCannotGrowEndTheTransferAsAWriteError) {
    m_server.Enqueue(Reply(HttpResponse(200, std::string(100, 'z'))));
    m_server.Enqueue(Reply(HttpResponse(200, "x", {{"X-Long", std::string(200, 'h')}})));
    Access::Body(m_fetcher).SetMaxSize(16);
    EXPECT_EQ(Get(m_server.Url()), 0u);
    EXPECT_EQ(Access::Body(m_fetcher).Size(), 0u);
    Access::RawHeaders(m_fetcher).SetMaxSize(20);
    EXPECT_EQ(Get(m_server.Url()), 0u);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{SendError(CURLE_WRITE_ERROR, 200, m_server.Url()),
                                        SendError(CURLE_WRITE_ERROR, 200, m_server.Url())}));
}

TEST(CurlRequestNoServerTest, UninitialisedFetcherFailsWithBadArgument) {
    LogCapture log;
    CCurlHttpFetcher fetcher;
    EXPECT_EQ(fetcher.Request("http://127.0.0.1:9/", nullptr, nullptr, 1000), 0u);
    ASSERT_EQ(log.Records().size(), 1u);
    EXPECT_EQ(log.Records()[0].text,
              "[Curl Send Error]ErrorCode=43, HttpStatus=0, Url=http://127.0.0.1:9/");
    EXPECT_EQ(fetcher.GetResponseHttpStatus(), 0);
}

}  // namespace
}  // namespace rvtest

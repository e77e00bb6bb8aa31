// GET and POST against a scripted server: what goes on the wire, what the fetcher keeps of
// the answer, and how every kind of broken exchange ends.
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "ChildProcess.h"
#include "CurlTestFixture.h"

namespace rvtest {
namespace {

using namespace std::chrono_literals;
using RVUtil::CCurlHttpFetcher;
using RVUtil::CCurlHttpFetcherImpl;

class CurlRequestTest : public CurlTest {
  protected:
    void SetUp() override { ASSERT_TRUE(m_fetcher.Init()); }

    // Request must fail within the time-out's reach and log exactly the line given.
    void ExpectFailure(const std::string& url, int code, int status = 0) {
        EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 0u);
        EXPECT_EQ(LogLines(), std::vector<std::string>{SendError(code, status, url)});
    }

    CCurlHttpFetcherImpl m_fetcher;
};

TEST_F(CurlRequestTest, GetSendsOneRequestAndKeepsBodyStatusAndHeaders) {
    m_server.Enqueue(Reply(HttpResponse(200, "hello", {{"Content-Type", "text/plain"}})));
    const std::string url = m_server.Url("/a/b?c=d");
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 1u);

    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].RequestLine(), "GET /a/b?c=d HTTP/1.1");
    EXPECT_EQ(requests[0].Body(), "");
    EXPECT_EQ(BodyOf(m_fetcher), "hello");
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 200);
    EXPECT_EQ(m_fetcher.FindHeader("content-type"), "text/plain");
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(CurlRequestTest, ErrorStatusCompletesTheExchange) {
    m_server.Enqueue(Reply(HttpResponse(404, "<h1>gone</h1>")));
    EXPECT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 404);
    EXPECT_EQ(BodyOf(m_fetcher), "<h1>gone</h1>");
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(CurlRequestTest, EmptyBodyGivesNullAndZero) {
    m_server.Enqueue(Reply(HttpResponse(200, "")));
    ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(m_fetcher.GetResponse(), nullptr);
    EXPECT_EQ(m_fetcher.GetResponseSize(), 0);
}

TEST_F(CurlRequestTest, StatusIsZeroBeforeAnyResponse) {
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 0);
}

TEST_F(CurlRequestTest, OnlyNameColonSpaceValueLinesAreRecorded) {
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\n"
              "A: 1\r\n"
              "NoSpace:x\r\n"
              "Spaced:  two\r\n"
              "B: 2\r\n"
              "Content-Length: 0\r\n"
              "\r\n"));
    ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(
        Flat(Access::ResponseHeaders(m_fetcher)),
        (std::vector<std::string>{"A", "1", "Spaced", " two", "B", "2", "Content-Length", "0"}));
    EXPECT_EQ(m_fetcher.FindHeader("NoSpace"), "");
}

TEST_F(CurlRequestTest, BareLineFeedsLeaveNothingToRecord) {
    m_server.Enqueue(Reply("HTTP/1.1 200 OK\nA: 1\nContent-Length: 2\n\nok"));
    ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(BodyOf(m_fetcher), "ok");
    EXPECT_EQ(Access::ResponseHeaders(m_fetcher).GetSize(), 0);
}

TEST_F(CurlRequestTest, WithoutEndRequestTheFirstResponsesValuesWin) {
    m_server.Enqueue(Reply(HttpResponse(200, "x", {{"Set-Cookie", "a=1"}, {"Set-Cookie", "b=2"}})));
    m_server.Enqueue(Reply(HttpResponse(200, "y", {{"Set-Cookie", "c=3"}, {"X-Second", "yes"}})));
    const std::string url = m_server.Url();
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(m_fetcher.FindHeader("set-cookie"), "a=1");
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(m_fetcher.FindHeader("Set-Cookie"), "a=1");
    EXPECT_EQ(m_fetcher.FindHeader("X-Second"), "yes");

    m_fetcher.EndRequest();
    EXPECT_EQ(m_fetcher.FindHeader("X-Second"), "");
    EXPECT_EQ(BodyOf(m_fetcher), "y");  // the body outlives EndRequest
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 200);
}

TEST_F(CurlRequestTest, CredentialsStayOffTheWireWhileAuthenticationIsOff) {
    // Init sets no authentication method, so the credentials a request leaves on the handle
    // are never sent, neither with that request nor with later ones.
    m_server.SetDefaultReply(Reply(HttpResponse(200, "")));
    const std::string url = m_server.Url();
    ASSERT_EQ(m_fetcher.Request(url.c_str(), "user", "pw", 5000), 1u);
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 1u);
    for (const RecordedRequest& request : m_server.Requests()) {
        EXPECT_EQ(request.Head().find("Authorization"), std::string::npos);
    }
}

TEST_F(CurlRequestTest, ChunkedBodyIsReassembled) {
    const std::string body = SampleText(10000);
    m_server.Enqueue(
        Reply(HttpResponse(200, Chunked(body, 777), {{"Transfer-Encoding", "chunked"}})));
    ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(BodyOf(m_fetcher), body);
    EXPECT_EQ(m_fetcher.FindHeader("transfer-encoding"), "chunked");
}

TEST_F(CurlRequestTest, KeepAliveReusesOneConnectionAndTheBuffers) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, std::string(3000, 'b'))));
    const std::string url = m_server.Url();
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 1u);
    const std::size_t capacity = Access::Body(m_fetcher).Capacity();
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 1u);
        m_fetcher.EndRequest();
    }
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    EXPECT_EQ(Access::Body(m_fetcher).Capacity(), capacity);
    EXPECT_GE(capacity, 3000u);

    m_fetcher.Fini();
    EXPECT_EQ(Access::Body(m_fetcher).Capacity(), 0u);
    EXPECT_EQ(Access::RawHeaders(m_fetcher).Capacity(), 0u);
}

TEST_F(CurlRequestTest, LargeBodyArrivesWhole) {
    std::string body = SampleText(3 * 1024 * 1024 + 17);
    m_server.Enqueue(Reply(HttpResponse(200, body)));
    ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 30000), 1u);
    EXPECT_EQ(m_fetcher.GetResponseSize(), static_cast<long>(body.size()));
    EXPECT_TRUE(BodyOf(m_fetcher) == body);
}

TEST_F(CurlRequestTest, PostSendsExactlyTheGivenBytes) {
    m_server.Enqueue(Reply(HttpResponse(201, "made")));
    BYTE data[] = {'a', 0, 'b', 0xFF, '\r', '\n'};
    const std::string url = m_server.Url("/post");
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, data, sizeof data), 1u);
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].RequestLine(), "POST /post HTTP/1.1");
    EXPECT_NE(requests[0].Head().find("Content-Length: 6\r\n"), std::string::npos);
    EXPECT_EQ(requests[0].Body(), std::string(reinterpret_cast<char*>(data), sizeof data));
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 201);
    EXPECT_EQ(BodyOf(m_fetcher), "made");
}

TEST_F(CurlRequestTest, EmptyPostWithNullDataSendsNoBody) {
    m_server.Enqueue(Reply(HttpResponse(200, "")));
    ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000, nullptr, 0), 1u);
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].RequestLine(), "POST / HTTP/1.1");
    EXPECT_NE(requests[0].Head().find("Content-Length: 0\r\n"), std::string::npos);
}

TEST_F(CurlRequestTest, PostWithImpossibleLengthIsRefusedWithoutTransfer) {
    const std::string url = m_server.Url();
    BYTE data[] = {'x'};
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, data, -1), 0u);
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, nullptr, 10), 0u);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{PostSendError(43, 0, url), PostSendError(43, 0, url)}));
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

TEST_F(CurlRequestTest, GetAfterPostNeitherSendsNorReadsTheOldData) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "ok")));
    const std::string url = m_server.Url();
    {
        auto data = std::make_unique<BYTE[]>(64);
        std::memset(data.get(), 'p', 64);
        ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, data.get(), 64), 1u);
    }  // the data is gone; AddressSanitizer reports any later read of it
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 1u);
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].RequestLine(), "GET / HTTP/1.1");
    EXPECT_EQ(requests[1].Head().find("Content-Length"), std::string::npos);
    EXPECT_EQ(requests[1].Body(), "");
}

TEST_F(CurlRequestTest, FailedPostLogsThePostLine) {
    const std::uint16_t port = PickFreeLoopbackPort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    BYTE data[] = {'x'};
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, data, 1), 0u);
    EXPECT_EQ(LogLines(), std::vector<std::string>{PostSendError(7, 0, url)});
}

TEST_F(CurlRequestTest, RefusedConnectionFailsWithOneLine) {
    const std::uint16_t port = PickFreeLoopbackPort();
    ExpectFailure("http://127.0.0.1:" + std::to_string(port) + "/x", CURLE_COULDNT_CONNECT);
}

TEST_F(CurlRequestTest, ServerThatNeverAnswersTimesOut) {
    m_server.Enqueue(Reply().Hang());
    const std::string url = m_server.Url();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 300), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(LogLines(), std::vector<std::string>{SendError(CURLE_OPERATION_TIMEDOUT, 0, url)});
}

TEST_F(CurlRequestTest, ZeroTimeoutSetsNoLimit) {
    m_server.Enqueue(Reply().Delay(400ms).Send(HttpResponse(200, "late")));
    ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 0), 1u);
    EXPECT_EQ(BodyOf(m_fetcher), "late");
}

TEST_F(CurlRequestTest, BodyCutShortKeepsWhatArrivedAndParsesNoHeader) {
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nX-Seen: 1\r\nContent-Length: 100\r\n\r\nonly ten!!").Close());
    const std::string url = m_server.Url();
    ExpectFailure(url, CURLE_PARTIAL_FILE, 200);
    EXPECT_EQ(BodyOf(m_fetcher), "only ten!!");
    EXPECT_EQ(m_fetcher.FindHeader("X-Seen"), "");
}

TEST_F(CurlRequestTest, ResetDuringTheBodyFails) {
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial").Delay(50ms).Reset());
    ExpectFailure(m_server.Url(), CURLE_RECV_ERROR, 200);
}

TEST_F(CurlRequestTest, ConnectionClosedBeforeAnyAnswerFails) {
    m_server.Enqueue(Reply().Close());
    ExpectFailure(m_server.Url(), CURLE_GOT_NOTHING);
}

TEST_F(CurlRequestTest, MalformedStatusLinesFail) {
    m_server.Enqueue(Reply("HTTP/1.1 abc OK\r\nContent-Length: 0\r\n\r\n").Close());
    m_server.Enqueue(Reply("HELLO THERE\r\n\r\n").Close());
    const std::string url = m_server.Url();
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 0u);
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 0u);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{SendError(CURLE_UNSUPPORTED_PROTOCOL, 0, url),
                                        SendError(CURLE_UNSUPPORTED_PROTOCOL, 0, url)}));
}

TEST_F(CurlRequestTest, HeaderBlockCutOffBeforeItsBlankLineStillCompletes) {
    // libcurl takes a close after the last header line as the end of an empty body; the
    // block's last line has its CR LF but the walk over the block must stop at its end.
    m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\n").Close());
    ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(Flat(Access::ResponseHeaders(m_fetcher)),
              (std::vector<std::string>{"A", "1", "B", "2"}));
    EXPECT_EQ(m_fetcher.GetResponseSize(), 0);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(CurlRequestTest, HeaderLinesWithoutNameAreSkippedAndWithoutColonFail) {
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\n"
              ": no name\r\n"
              "Good: yes\r\n"
              "Content-Length: 0\r\n"
              "\r\n"));
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\n"
              "no colon at all\r\n"
              "Content-Length: 0\r\n"
              "\r\n"));
    const std::string url = m_server.Url();
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 1u);
    const std::vector<std::string> recorded{"Good", "yes", "Content-Length", "0"};
    EXPECT_EQ(Flat(Access::ResponseHeaders(m_fetcher)), recorded);
    ExpectFailure(url, CURLE_WEIRD_SERVER_REPLY, 200);
    EXPECT_EQ(Flat(Access::ResponseHeaders(m_fetcher)), recorded);  // nothing added
}

TEST_F(CurlRequestTest, BodyThatCannotGrowEndsTheTransferAsAWriteError) {
    Access::Body(m_fetcher).SetMaxSize(16);
    m_server.Enqueue(Reply(HttpResponse(200, std::string(100, 'z'))));
    ExpectFailure(m_server.Url(), CURLE_WRITE_ERROR, 200);
    EXPECT_EQ(Access::Body(m_fetcher).Size(), 0u);
}

TEST_F(CurlRequestTest, HeaderBlockThatCannotGrowEndsTheTransferAsAWriteError) {
    Access::RawHeaders(m_fetcher).SetMaxSize(20);
    m_server.Enqueue(Reply(HttpResponse(200, "x", {{"X-Long", std::string(200, 'h')}})));
    ExpectFailure(m_server.Url(), CURLE_WRITE_ERROR, 200);
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

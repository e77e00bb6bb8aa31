// GET and POST against a scripted server: what goes on the wire, what the fetcher keeps of
// the answer, and how every kind of broken exchange ends.
#include <chrono>
#include <cstring>
#include <memory>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "ChildProcess.h"
#include "CurlTestFixture.h"
#include "RVUtil/BodyLimit.h"
#include "TestCertificates.h"
#include "TlsFront.h"

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

// A first header line that starts with white space reads as the continuation of the header
// before it; libcurl once took that from the previous transfer on the same handle, which it
// had freed.
TEST_F(CurlRequestTest, AFoldedFirstHeaderLineFindsNothingOfTheRequestBefore) {
    m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nX: y\r\n\r\n").Close());
    m_server.Enqueue(Reply("HTTP/1.1 200 OK\n \rX: 1\r\n\r\n").Close());
    m_server.Enqueue(Reply(HttpResponse(200, "kept alive", {{"X", "z"}})));
    m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\n Y: 1\r\nContent-Length: 0\r\n\r\n"));
    ASSERT_EQ(Get(m_server.Url()), 1u);
    EXPECT_EQ(m_fetcher.FindHeader("X"), "y");
    EXPECT_EQ(m_fetcher.GetRawResponseHeaders(), "HTTP/1.1 200 OK\r\nX: y\r\n\r\n");
    // Whether libcurl takes these heads or refuses them, it reads nothing freed.
    Get(m_server.Url());
    ASSERT_EQ(Get(m_server.Url()), 1u);
    Get(m_server.Url());
    EXPECT_EQ(m_server.RequestCount(), 4u);
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
    const std::size_t capacity = Access::Body(m_fetcher).CapacityForTesting();
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(Get(m_server.Url()), 1u);
        m_fetcher.EndRequest();
    }
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    EXPECT_EQ(Access::Body(m_fetcher).CapacityForTesting(), capacity);
    EXPECT_GE(capacity, 3000u);

    m_fetcher.Fini();  // only Fini gives the memory back
    EXPECT_EQ(Access::Body(m_fetcher).CapacityForTesting(), 0u);
    EXPECT_EQ(Access::RawHeaders(m_fetcher).CapacityForTesting(), 0u);
}

TEST_F(CurlRequestTest, PostSendsExactlyTheGivenBytesAndTheGetAfterItNone) {
    m_server.Enqueue(Reply(HttpResponse(201, "made")));
    m_server.SetDefaultReply(Reply(HttpResponse(200, "")));
    const BYTE bytes[] = {'a', 0, 'b', 0xFF, '\r', '\n'};
    const std::string url = m_server.Url("/post");
    {
        auto data = std::make_unique<BYTE[]>(sizeof bytes);
        std::memcpy(data.get(), bytes, sizeof bytes);
        ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, data.get(), sizeof bytes),
                  1u);
        EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 201);
        EXPECT_EQ(BodyOf(m_fetcher), "made");
    }  // the data is gone; AddressSanitizer reports any later read of it
    // An empty POST with no data at all sends no body (and reads none from elsewhere).
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, nullptr, 0), 1u);
    ASSERT_EQ(Get(url), 1u);

    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].RequestLine(), "POST /post HTTP/1.1");
    EXPECT_NE(requests[0].Head().find("\r\nContent-Length: 6\r\n"), std::string::npos);
    EXPECT_EQ(requests[0].Body(), std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
    EXPECT_EQ(requests[1].RequestLine(), "POST /post HTTP/1.1");
    EXPECT_NE(requests[1].Head().find("\r\nContent-Length: 0\r\n"), std::string::npos);
    EXPECT_EQ(requests[2].RequestLine(), "GET /post HTTP/1.1");
    EXPECT_EQ(requests[2].Head().find("Content-Length"), std::string::npos);
    EXPECT_EQ(requests[2].Body(), "");
}

TEST_F(CurlRequestTest, FailedPostsLogThePostLine) {
    const std::string refused = "http://127.0.0.1:" + std::to_string(PickFreeLoopbackPort()) + "/";
    const std::string url = m_server.Url();
    BYTE data[] = {'x'};
    EXPECT_EQ(m_fetcher.Request(refused.c_str(), nullptr, nullptr, 5000, data, 1), 0u);
    // A negative length or bytes promised behind null are refused without a transfer.
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, data, -1), 0u);
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000, nullptr, 10), 0u);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              SendError(CURLE_COULDNT_CONNECT, 0, refused, "Post "), kDetail,
                              SendError(CURLE_BAD_FUNCTION_ARGUMENT, 0, url, "Post "),
                              SendError(CURLE_BAD_FUNCTION_ARGUMENT, 0, url, "Post ")}));
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

// Each failure writes its record, then libcurl's own words on it, and ends within its
// time-out however slowly the server sends.
TEST_F(CurlRequestTest, BrokenExchangesFailWithTheirRecordAndLibcurlsWords) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nX-Long-Enough: 1\r\n\r\n";
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
        // One byte every 200 ms: the time-out bounds the whole transfer, not each wait.
        {Reply().Trickle(head + "body", 1, 200ms), CURLE_OPERATION_TIMEDOUT, 0, "", 1000},
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
        expected.push_back(kDetail);
    }
    const std::string refused = "http://127.0.0.1:" + std::to_string(PickFreeLoopbackPort()) + "/x";
    EXPECT_EQ(Get(refused), 0u);
    expected.push_back(SendError(CURLE_COULDNT_CONNECT, 0, refused));
    expected.push_back(kDetail);
    EXPECT_EQ(LogLines(), expected);
}

// Schemes other than http and https are refused before anything is read or sent, and a URL
// that would split its request line is refused whole.
TEST_F(CurlRequestTest, OnlyWebUrlsAreFetchedAndNoneSplitsTheRequestLine) {
    const std::string at = "127.0.0.1:" + std::to_string(m_server.Port());
    struct Case {
        std::string url;
        int code;
        std::string logged;  // the URL as its record shows it, control characters escaped
    };
    const Case cases[] = {
        {"file:///etc/passwd", CURLE_UNSUPPORTED_PROTOCOL, ""},
        {"gopher://" + at + "/_SET%20x%201%0D%0AQUIT", CURLE_UNSUPPORTED_PROTOCOL, ""},
        {"dict://" + at + "/d:x", CURLE_UNSUPPORTED_PROTOCOL, ""},
        {"ftp://" + at + "/", CURLE_UNSUPPORTED_PROTOCOL, ""},
        {"http://" + at + "/a b", CURLE_URL_MALFORMAT, ""},
        {"http://" + at + "/a\r\nX-Injected: 1", CURLE_URL_MALFORMAT,
         "http://" + at + "/a\\r\\nX-Injected: 1"},
        {"http://" + at + "/a HTTP/1.1\nHost: evil\n\nGET /smuggled", CURLE_URL_MALFORMAT,
         "http://" + at + "/a HTTP/1.1\\nHost: evil\\n\\nGET /smuggled"},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        EXPECT_EQ(Get(c.url), 0u) << c.url;
        expected.push_back(SendError(c.code, 0, c.logged.empty() ? c.url : c.logged));
    }
    EXPECT_EQ(LogLines(false), expected);
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

// Sets the process's body limit for one test.
class ScopedBodyLimit {
  public:
    explicit ScopedBodyLimit(long long limit) { RVUtil::RVUtil_gfnSetBodyLimit(limit); }
    ~ScopedBodyLimit() { RVUtil::RVUtil_gfnSetBodyLimit(0); }
};

// The body array never grows past the limit, whether the body comes as sent or as libcurl
// decodes it, and a declared length above it fails before any of the body is stored.
TEST_F(CurlRequestTest, BodiesOverTheLimitFailAndTheArrayNeverPassesIt) {
    constexpr std::size_t kLimit = 64 * 1024;
    const ScopedBodyLimit limit(kLimit);
    const std::string over(kLimit + 1, 'o');
    struct Case {
        const char* name;
        Reply reply;
        int code;  // 0: the request completes
    };
    const Case cases[] = {
        {"declared above",
         Reply(HttpResponse(200, "", {{"Content-Length", std::to_string(kLimit + 1)}}) + "abcde")
             .Hang(),
         CURLE_FILESIZE_EXCEEDED},
        {"exactly the limit", Reply(HttpResponse(200, over.substr(1))), 0},
        {"no length", Reply("HTTP/1.1 200 OK\r\n\r\n" + over).Close(), CURLE_WRITE_ERROR},
        {"chunked",
         Reply(HttpResponse(200, Chunked(over + over, 4096), {{"Transfer-Encoding", "chunked"}})),
         CURLE_WRITE_ERROR},
        {"decoded by libcurl",
         Reply(HttpResponse(200, GzipBody(std::string(4 * kLimit, 'z')),
                            {{"Content-Encoding", "gzip"}})),
         CURLE_WRITE_ERROR},
    };
    m_fetcher.AddHeader("Accept-Encoding", "gzip");
    const std::string url = m_server.Url();
    const std::string limitRecord = "8 [Body Limit]Response body over the limit of " +
                                    std::to_string(kLimit) + " bytes, Url=" + url;
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Enqueue(c.reply);
        EXPECT_EQ(Get(url, 30000), c.code == 0 ? 1u : 0u);
        EXPECT_LE(Access::Body(m_fetcher).CapacityForTesting(), kLimit);
        if (c.code != 0) {
            expected.insert(expected.end(), {SendError(c.code, 200, url), kDetail, limitRecord});
        } else {
            EXPECT_EQ(m_fetcher.GetResponseSize(), static_cast<long>(kLimit));
        }
        if (c.code == CURLE_FILESIZE_EXCEEDED) {
            EXPECT_EQ(Access::Body(m_fetcher).CapacityForTesting(), 0u);  // nothing was allocated
        }
    }
    EXPECT_EQ(LogLines(), expected);
}

// Any other growth the arrays cannot make ends the transfer too, without naming the limit.
TEST_F(CurlRequestTest, ArraysThatCannotGrowEndTheTransferAsAWriteError) {
    m_server.Enqueue(Reply(HttpResponse(200, "x", {{"X-Long", std::string(200, 'h')}})));
    Access::RawHeaders(m_fetcher).SetMaxSize(20);
    EXPECT_EQ(Get(m_server.Url()), 0u);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              SendError(CURLE_WRITE_ERROR, 200, m_server.Url()), kDetail}));
}

constexpr const char* kEndlessUrl = "RVUTIL_TEST_ENDLESS_URL";
constexpr long long kChildLimit = 32LL << 20;

// Run by the test below in a fresh process, so that the peak memory it reads is its own.
TEST(CurlEndlessBodyChild, Run) {
    const char* url = std::getenv(kEndlessUrl);
    if (url == nullptr) {
        GTEST_SKIP() << "runs only as a child of AnEndlessBodyFailsWithinItsMemoryBound";
    }
    const auto peakKiB = [] {
        const std::string status = ReadFile("/proc/self/status");
        return std::strtol(status.c_str() + status.find("VmHWM:") + 6, nullptr, 10);
    };
    RVUtil::RVUtil_gfnSetBodyLimit(kChildLimit);
    LogCapture log;
    CCurlHttpFetcher fetcher;
    fetcher.Init();
    const long before = peakKiB();
    const DWORD result = fetcher.Request(url, nullptr, nullptr, 60000);
    bool limitRecord = false;
    for (const LogRecord& record : log.Records()) {
        limitRecord = limitRecord || record.text.rfind("[Body Limit]", 0) == 0;
    }
    std::printf("outcome: %u %d %ld\n", result, limitRecord ? 1 : 0, peakKiB() - before);
}

TEST_F(CurlRequestTest, AnEndlessBodyFailsWithinItsMemoryBound) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators copy on every growth and keep freed blocks";
#endif
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\n\r\n").Send(std::string(2 * kChildLimit, 'e')).Close());
    m_env.Set(kEndlessUrl, m_server.Url("/endless"));
    TempDir dir("rvutil-endless");
    ChildProcess::Options options;
    options.stdoutPath = dir / "stdout";
    ChildProcess child({"/proc/self/exe", "--gtest_filter=CurlEndlessBodyChild.Run"}, options);
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (child.Running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    child.Stop();
    const std::string output = ReadFile(dir / "stdout");
    const std::size_t at = output.find("outcome: ");
    ASSERT_NE(at, std::string::npos) << output;
    unsigned result = 9;
    int limitRecord = 0;
    long growthKiB = 0;
    std::sscanf(output.c_str() + at, "outcome: %u %d %ld", &result, &limitRecord, &growthKiB);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(limitRecord, 1);
    // The request's own peak, above what the test program held before it.
    EXPECT_LT(growthKiB * 1024.0, 1.6 * kChildLimit) << growthKiB << " KiB";
}

// A POST does not verify its peer; the GET after it on the same fetcher does again, on a
// connection (and TLS session) of its own.
TEST_F(CurlRequestTest, APostSkipsPeerVerificationForItselfAlone) {
    const TestCertificates& certs = TestCertificates::Get();
    TlsFront trusted(m_server.Port(), certs.Loopback().certFile, certs.Loopback().keyFile);
    TlsFront selfSigned(m_server.Port(), certs.Untrusted().certFile, certs.Untrusted().keyFile);
    ASSERT_TRUE(trusted.IsListening() && selfSigned.IsListening());
    curl_easy_setopt(Access::ConfiguredHandle(m_fetcher), CURLOPT_CAINFO, certs.CaFile().c_str());
    m_server.SetDefaultReply(Reply(HttpResponse(200, "tls")));
    const std::string good = "https://127.0.0.1:" + std::to_string(trusted.Port()) + "/";
    const std::string bad = "https://127.0.0.1:" + std::to_string(selfSigned.Port()) + "/";
    BYTE data[] = {'p'};

    EXPECT_EQ(Get(good), 1u);
    EXPECT_EQ(Get(bad), 0u);
    EXPECT_EQ(m_fetcher.Request(bad.c_str(), nullptr, nullptr, 5000, data, 1), 1u);
    EXPECT_EQ(BodyOf(m_fetcher), "tls");
    EXPECT_EQ(Get(bad), 0u);
    EXPECT_EQ(Get(good), 1u);

    const std::string refusal = SendError(CURLE_PEER_FAILED_VERIFICATION, 0, bad);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{refusal, kDetail, refusal, kDetail}));
    EXPECT_NE(m_log.Records().at(1).text.find("SSL certificate problem"), std::string::npos);
    EXPECT_EQ(trusted.FailedHandshakes(), 0u);
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

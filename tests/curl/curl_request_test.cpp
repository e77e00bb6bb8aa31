// What is the curl fetcher's own in a request: libcurl's error codes in its records, its
// arrays under the body limit, and the POST that skips peer verification.
#include <chrono>

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

TEST_F(CurlRequestTest, RepeatedRequestsReuseTheArraysAndOnlyFiniFreesThem) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, std::string(3000, 'b'))));
    ASSERT_EQ(Get(m_server.Url()), 1u);
    const std::size_t capacity = Access::Body(m_fetcher).CapacityForTesting();
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(Get(m_server.Url()), 1u);
        m_fetcher.EndRequest();
    }
    EXPECT_EQ(Access::Body(m_fetcher).CapacityForTesting(), capacity);
    EXPECT_GE(capacity, 3000u);
    // An empty body is no body, whatever the array still holds.
    m_server.Enqueue(Reply(HttpResponse(500, "")));
    ASSERT_EQ(Get(m_server.Url()), 1u);
    EXPECT_EQ(m_fetcher.GetResponse(), nullptr);

    m_fetcher.Fini();
    EXPECT_EQ(Access::Body(m_fetcher).CapacityForTesting(), 0u);
    EXPECT_EQ(Access::RawHeaders(m_fetcher).CapacityForTesting(), 0u);
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
        {Reply().Close(), CURLE_GOT_NOTHING, 0, ""},
        {Reply("HTTP/1.1 abc OK\r\nContent-Length: 0\r\n\r\n").Close(), CURLE_UNSUPPORTED_PROTOCOL,
         0, ""},
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

// Requests refused before any transfer still write the record of a failed send, POSTs as
// such, with the URL's control characters escaped.
TEST_F(CurlRequestTest, RefusedRequestsWriteTheirRecord) {
    const std::string at = "http://127.0.0.1:" + std::to_string(m_server.Port());
    BYTE data[] = {'x'};
    const struct {
        std::string url;
        int length;  // -2: a GET
        int code;
        std::string logged;
    } cases[] = {
        {"file:///etc/passwd", -2, CURLE_UNSUPPORTED_PROTOCOL, "file:///etc/passwd"},
        {at + "/a b", -2, CURLE_URL_MALFORMAT, at + "/a b"},
        {at + "/a\r\nX: 1", -2, CURLE_URL_MALFORMAT, at + "/a\\r\\nX: 1"},
        {at + "/a\nHost: evil", -2, CURLE_URL_MALFORMAT, at + "/a\\nHost: evil"},
        {at + "/", -1, CURLE_BAD_FUNCTION_ARGUMENT, at + "/"},
    };
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        EXPECT_EQ(c.length == -2
                      ? Get(c.url)
                      : m_fetcher.Request(c.url.c_str(), nullptr, nullptr, 5000, data, c.length),
                  0u);
        expected.push_back(SendError(c.code, 0, c.logged, c.length == -2 ? "" : "Post "));
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
    const struct {
        const char* name;
        Reply reply;
        int code;
    } cases[] = {
        {"declared above",
         Reply(HttpResponse(200, "", {{"Content-Length", std::to_string(kLimit + 1)}}) + "abcde")
             .Hang(),
         CURLE_FILESIZE_EXCEEDED},
        {"no length", Reply("HTTP/1.1 200 OK\r\n\r\n" + over).Close(), CURLE_WRITE_ERROR},
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Enqueue(c.reply);
        EXPECT_EQ(Get(url, 30000), 0u);
        // A declared length over the limit allocates nothing at all.
        EXPECT_LE(Access::Body(m_fetcher).CapacityForTesting(),
                  c.code == CURLE_FILESIZE_EXCEEDED ? 0u : kLimit);
        expected.insert(expected.end(), {SendError(c.code, 200, url), kDetail, limitRecord});
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

}  // namespace
}  // namespace rvtest

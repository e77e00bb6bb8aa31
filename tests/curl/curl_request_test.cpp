// What is the curl fetcher's own: Init and Fini, the system and explicit proxies, libcurl's
// header list, an Accept-Encoding naming gzip (which hands every decoder libcurl has to it),
// libcurl's codes in the records, its arrays under the body limit, and the POST that skips
// peer verification.

#include <chrono>

#include "AllocationFailure.h"
#include "CurlTestFixture.h"
#include "RVUtil/BodyLimit.h"
#include "TestCertificates.h"
#include "TlsFront.h"

namespace rvtest {
namespace {

using namespace std::chrono_literals;
using RVUtil::CCurlHttpFetcher;
using RVUtil::curl::CCurlHttpFetcherImpl;

using CurlLifecycleTest = CurlTest;

static_assert(sizeof(CCurlHttpFetcher) == sizeof(void*), "the facade is one pointer wide");

TEST_F(CurlLifecycleTest, ClosedFetcherAnswersWithEmptyValuesAndNeverConnects) {
    CCurlHttpFetcher fetcher;
    // Not yet initialised, a request fails as a bad argument, with its record; once closed,
    // nothing is written at all.
    const std::string url = m_server.Url();
    EXPECT_EQ(fetcher.Request(url.c_str(), nullptr, nullptr, 1000), 0u);
    fetcher.Fini();  // before any Init: closed all the same
    fetcher.Fini();
    EXPECT_FALSE(fetcher.IsInit());
    BYTE data[] = {'x'};
    EXPECT_EQ(fetcher.Request(url.c_str(), nullptr, nullptr, 1000), 0u);
    EXPECT_EQ(fetcher.Request(url.c_str(), nullptr, nullptr, 1000, data, 1), 0u);
    EXPECT_EQ(std::tuple(fetcher.GetResponse() == nullptr, fetcher.GetResponseSize(),
                         fetcher.GetResponseHttpStatus(), fetcher.FindHeader("Content-Type").str(),
                         fetcher.IsEncoding() != 0),
              std::tuple(true, 0, 404, std::string(), false));
    BYTE sentinel = 0;
    BYTE* out = &sentinel;
    EXPECT_EQ(fetcher.Decompress(&out), 0);
    EXPECT_EQ(out, &sentinel);
    fetcher.AddHeader("X-Id", "1");
    fetcher.RemoveHeader("X-Id");
    fetcher.SetProxy("127.0.0.1", 1);
    fetcher.SetNoProxy("*");
    fetcher.EndRequest();
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
    EXPECT_EQ(LogLines(false), std::vector<std::string>{SendError(43, 0, url)});
}

// Headers added before Init wait for the next change of the list; a second Init keeps the
// handle, while Init after Fini configures a fresh one with the stored headers.
TEST_F(CurlLifecycleTest, InitKeepsAConfiguredHandleAndAfterFiniMakesAFreshOne) {
    TestedImpl fetcher;
    fetcher.AddHeader("X-Early", "1");
    ASSERT_TRUE(fetcher.Init());
    m_server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    ASSERT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    fetcher.AddHeader("Accept-Encoding", "gzip");
    EXPECT_FALSE(fetcher.Init());
    EXPECT_TRUE(fetcher.IsInit());
    ASSERT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    fetcher.Fini();
    EXPECT_TRUE(Access::HeaderListLines(fetcher).empty());

    ASSERT_TRUE(fetcher.Init());
    EXPECT_EQ(Access::HeaderListLines(fetcher),
              (std::vector<std::string>{"X-Early:1", "Accept-Encoding:gzip"}));
    const std::string body = std::string(2000, 't');
    m_server.Enqueue(Reply(HttpResponse(200, GzipText(body), {{"Content-Encoding", "gzip"}})));
    ASSERT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(m_server.ConnectionCount(), 2u);
    EXPECT_EQ(BodyOf(fetcher), body) << "gzip decoded again after Init";
    EXPECT_FALSE(fetcher.IsEncoding());
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Head().find("X-Early"), std::string::npos);
    EXPECT_NE(requests[1].Head().find("\r\nX-Early:1\r\n"), std::string::npos);
    EXPECT_NE(requests[1].Head().find("\r\nAccept-Encoding:gzip\r\n"), std::string::npos);
    EXPECT_NE(requests[2].Head().find("\r\nX-Early:1\r\n"), std::string::npos);
}

TEST_F(CurlLifecycleTest, AnyFailureInsideInitBecomesCurlInitFail) {
    // Every allocation of a re-Init in turn fails; each attempt either succeeds or raises
    // the one char* exception, and the fetcher stays usable afterwards.
    int raised = 0;
    // Until an Init meets no refusal: every allocation of Init has had its turn.
    for (std::size_t nth = 1, refused = 1; refused > 0 && nth < 200; ++nth) {
        TestedImpl fetcher;
        // Long enough that building their lines needs the heap.
        fetcher.AddHeader("X-Header-Number-One", "a value that is not short");
        fetcher.AddHeader("X-Header-Number-Two", "another value that is not short");
        ASSERT_TRUE(fetcher.Init());
        fetcher.Fini();
        const char* message = nullptr;
        {
            FailAllocationsFrom failing(nth);
            try {
                fetcher.Init();
            } catch (char* what) {
                message = what;
            }
            refused = failing.Refused();
        }
        if (message != nullptr) {
            EXPECT_STREQ(message, "Curl Init Fail");
            ++raised;
        }
        fetcher.Fini();
        ASSERT_TRUE(fetcher.Init());
        m_server.Enqueue(Reply(HttpResponse(200, "x")));
        ASSERT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    }
    EXPECT_GT(raised, 0);
}

TEST_F(CurlLifecycleTest, SystemProxyIsAdoptedAtInitWithItsCredentials) {
    // Upper case: libcurl itself ignores HTTP_PROXY, so only the fetcher can have set it.
    const std::string proxy = "127.0.0.1:" + std::to_string(m_server.Port());
    m_server.SetDefaultReply(Reply(HttpResponse(200, "via proxy")));
    for (const std::string& setting : {"http://user:pw@" + proxy, proxy}) {
        m_env.Set("HTTP_PROXY", setting);
        CCurlHttpFetcher fetcher;
        ASSERT_TRUE(fetcher.Init());
        ASSERT_EQ(fetcher.Request("http://origin.invalid/p", nullptr, nullptr, 5000), 1u);
    }
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].RequestLine(), "GET http://origin.invalid/p HTTP/1.1");
    EXPECT_NE(requests[0].Head().find("\r\nProxy-Authorization: Basic dXNlcjpwdw==\r\n"),
              std::string::npos);
    EXPECT_EQ(requests[1].RequestLine(), "GET http://origin.invalid/p HTTP/1.1");
    EXPECT_EQ(requests[1].Head().find("Proxy-Authorization"), std::string::npos);
}

TEST_F(CurlLifecycleTest, SetProxyReplacesTheSystemProxyAndSetNoProxyBypassesIt) {
    ScriptedServer systemProxy;
    ScriptedServer explicitProxy;
    m_env.Set("HTTP_PROXY", systemProxy.Url());
    CCurlHttpFetcher fetcher;
    fetcher.SetProxy("127.0.0.1", explicitProxy.Port());  // before Init: no lasting effect
    ASSERT_TRUE(fetcher.Init());
    fetcher.SetProxy("127.0.0.1", explicitProxy.Port());
    explicitProxy.Enqueue(Reply(HttpResponse(200, "proxied")));
    ASSERT_EQ(fetcher.Request("http://origin.invalid/x", nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(systemProxy.RequestCount(), 0u);
    ASSERT_EQ(explicitProxy.RequestCount(), 1u);
    EXPECT_EQ(explicitProxy.Requests()[0].RequestLine(), "GET http://origin.invalid/x HTTP/1.1");

    fetcher.SetNoProxy("127.0.0.1");
    m_server.Enqueue(Reply(HttpResponse(200, "direct")));
    ASSERT_EQ(fetcher.Request(m_server.Url("/y").c_str(), nullptr, nullptr, 5000), 1u);
    ASSERT_EQ(m_server.RequestCount(), 1u);
    EXPECT_EQ(m_server.Requests()[0].RequestLine(), "GET /y HTTP/1.1");
    EXPECT_EQ(explicitProxy.RequestCount(), 1u);
}

class CurlRequestTest : public CurlTest {
  protected:
    void SetUp() override { ASSERT_TRUE(m_fetcher.Init()); }
    void TearDown() override { RVUtil::RVUtil_gfnSetBodyLimit(0); }

    DWORD Get(const std::string& url, DWORD timeout = 5000) {
        return m_fetcher.Request(url.c_str(), nullptr, nullptr, timeout);
    }
    // The head of one request sent now.
    std::string SentHead() {
        const std::size_t before = m_server.RequestCount();
        m_fetcher.EndRequest();
        EXPECT_EQ(Get(m_server.Url()), 1u);
        const auto requests = m_server.Requests();
        return requests.size() > before ? std::string(requests.back().Head()) : std::string();
    }

    TestedImpl m_fetcher;
};

TEST_F(CurlRequestTest, TheListFollowsThePairsAndAnEmptyValueSuppressesTheHeader) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "x")));
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
    EXPECT_TRUE(Access::HeaderListLines(m_fetcher).empty());
    EXPECT_EQ(SentHead().find("X-A"), std::string::npos);
}

TEST_F(CurlRequestTest, AcceptEncodingNamingGzipHasTheFetcherDecodeGzip) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    m_fetcher.AddHeader("accept-ENCODING", "GZIP, deflate");
    EXPECT_TRUE(Access::CurlDecodesGzip(m_fetcher));
    const std::string body = std::string(5000, 't');
    m_server.Enqueue(Reply(HttpResponse(200, GzipText(body), {{"Content-Encoding", "gzip"}})));
    EXPECT_NE(SentHead().find("\r\naccept-ENCODING:GZIP, deflate\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(m_fetcher), body);
    EXPECT_FALSE(m_fetcher.IsEncoding());

    // Another value leaves libcurl's setting and the flag; only the line changes.
    m_fetcher.AddHeader("accept-ENCODING", "br");
    EXPECT_TRUE(Access::CurlDecodesGzip(m_fetcher));
    m_server.Enqueue(Reply(HttpResponse(200, GzipText(body), {{"Content-Encoding", "gzip"}})));
    EXPECT_NE(SentHead().find("\r\naccept-ENCODING:br\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(m_fetcher), body);

    // A zstd body waits for Decompress, whatever libcurl itself could decode.
    m_server.Enqueue(Reply(HttpResponse(200, ZstdText(body), {{"Content-Encoding", "zstd"}})));
    SentHead();
    EXPECT_TRUE(m_fetcher.IsEncoding());
    EXPECT_EQ(BodyOf(m_fetcher), ZstdText(body));

    // Corrupt gzip fails the request, as it did when libcurl decoded it.
    const std::string url = m_server.Url();
    m_server.Enqueue(Reply(HttpResponse(200, "garbage, not gzip", {{"Content-Encoding", "gzip"}})));
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 0u);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{SendError(CURLE_BAD_CONTENT_ENCODING, 200, url), kDetail}));
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
        EXPECT_TRUE(Access::ResponseHeaders(m_fetcher).empty()) << c.code;  // none parsed
        expected.push_back(SendError(c.code, c.status, url));
        expected.push_back(kDetail);
    }
    const std::string refused = RefusedUrl("/x");
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

// The body array never grows past the limit, whether the body comes as sent or as libcurl
// decodes it, and a declared length above it fails before any of the body is stored.
TEST_F(CurlRequestTest, BodiesOverTheLimitFailAndTheArrayNeverPassesIt) {
    constexpr std::size_t kLimit = 64 * 1024;
    RVUtil::RVUtil_gfnSetBodyLimit(kLimit);  // the default again after the test
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
        {"decoded by the fetcher",
         Reply(HttpResponse(200, GzipText(std::string(4 * kLimit, 'z')),
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
        EXPECT_LE(Access::Body(m_fetcher).Capacity(),
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
}

}  // namespace
}  // namespace rvtest

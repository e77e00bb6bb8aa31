// What is CRVHttpFetcher's own: its life cycle and buffer, the URLs it refuses, its records
// of failures, the POST form's answer, TLS chosen by scheme and port; and Request2: what it
// keeps, what it raises, that it leaves nothing open or allocated behind whichever way it
// ends, and its header map and declared length.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

#include "CRVHttpFetcher/request2/ResponseHeaderMap.h"
#include "FetcherTestSupport.h"
#include "LogCapture.h"
#include "OpenHandles.h"
#include "ScopedEnvironment.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "TlsFront.h"
#include "http/FieldValues.h"

using RVUtil::log::CPXLog;

namespace {

using namespace std::chrono_literals;
using rvtest::HttpResponse;
using rvtest::OpenHandles;
using rvtest::Reply;
using rvtest::TestFetcher;
constexpr int kError = CPXLog::LVL_ERROR;

constexpr const char* kSendFailed = "CRVHttpFetcher\\request2(172): send request failed.";
constexpr const char* kReadFailed =
    "CRVHttpFetcher\\request2(240): read data from internet failed.";

// How a call ended: its result, or the text of what it raised (empty for nothing).
struct Outcome {
    DWORD status = 0;
    std::string raised;
};

class Request2Test : public ::testing::Test {
  protected:
    void SetUp() override {
        m_env.UnsetProxies();
        m_before = OpenHandles::Now(m_server.Port());
    }
    std::string Url(const std::string& path) const { return m_server.Url(path); }

    Outcome Call(const std::string& url, DWORD timeout = 5000, const char* post = nullptr,
                 int postLength = 0) {
        Outcome out;
        try {
            out.status =
                m_fetcher.Request2(url.c_str(), nullptr, nullptr, timeout,
                                   reinterpret_cast<BYTE*>(const_cast<char*>(post)), postLength);
        } catch (const std::runtime_error& e) {
            out.raised = e.what();
        } catch (const std::bad_alloc&) {
            out.raised = "bad_alloc";
        }
        return out;
    }
    Outcome Get2(const std::string& path, DWORD timeout = 5000) { return Call(Url(path), timeout); }
    DWORD Get(const std::string& path, DWORD timeout = 5000) {
        return m_fetcher.Request(Url(path).c_str(), nullptr, nullptr, timeout);
    }
    DWORD Post(const std::string& path, const std::string& body) {
        return m_fetcher.Request(Url(path).c_str(), nullptr, nullptr, 5000,
                                 reinterpret_cast<BYTE*>(const_cast<char*>(body.data())),
                                 static_cast<int>(body.size()));
    }

    // Every connection, session and I/O loop of the call is closed again.
    void ExpectNothingLeftOpen() { EXPECT_EQ(OpenHandles::Now(m_server.Port()), m_before); }
    // What the object keeps: its status, whether it has a body, and the body's size.
    std::tuple<int, bool, int> Kept() {
        return {m_fetcher.GetResponseHttpStatus(), m_fetcher.GetResponse() != nullptr,
                m_fetcher.GetResponseSize()};
    }

    rvtest::ScopedEnvironment m_env;
    rvtest::ScriptedServer m_server;
    rvtest::TestFetcher m_fetcher;
    rvtest::LogCapture m_log;
    OpenHandles m_before;
};

class FetcherRequestTest : public Request2Test {
  protected:
    void SetUp() override {
        Request2Test::SetUp();
        ASSERT_EQ(m_fetcher.Init(), 1);
    }
};

TEST_F(FetcherRequestTest, GrowsTheBufferToTheBodyAndSendsLongUrlsWhole) {
    const std::string body(10000, 'b');
    m_server.Enqueue(Reply(HttpResponse(200, body)));
    EXPECT_EQ(Get("/big"), 200u);
    EXPECT_EQ(m_fetcher.Body(), body);
    EXPECT_EQ(m_fetcher.Capacity(), 10000);

    m_fetcher.EndRequest();
    m_server.SetDefaultReply(Reply(HttpResponse(200, "")));
    const std::string path = "/" + std::string(3000, 'p') + "?q=" + std::string(60000, 'q');
    EXPECT_EQ(m_fetcher.Request(Url(path).c_str(), nullptr, nullptr, 5000), 200u);
    EXPECT_EQ(m_server.Requests().at(1).RequestLine(), "GET " + path + " HTTP/1.1");

    // Longer than 64 KiB, or holding a control character: refused whole, with a record.
    const std::string tooLong = Url("/") + std::string(70000, 'p');
    EXPECT_EQ(m_fetcher.Request(tooLong.c_str(), nullptr, nullptr, 5000), 0u);
    EXPECT_EQ(m_log.Records().back().text.rfind(
                  "[Http Url Error]URL refused (longer than 64 KiB), Length=" +
                      std::to_string(tooLong.size()) + ", Url=http://127.0.0.1:",
                  0),
              0u);
    const std::string split = Url("/a\r\nHost: evil\r\n\r\nGET /smuggled");
    EXPECT_EQ(m_fetcher.Request(split.c_str(), nullptr, nullptr, 5000), 0u);
    EXPECT_TRUE(m_log.Contains(kError, "[Http Url Error]URL refused (control character), Length=" +
                                           std::to_string(split.size()) + ", Url=" + Url("/a") +
                                           "\\r\\nHost: evil\\r\\n\\r\\nGET /smuggled"));
    EXPECT_EQ(m_server.RequestCount(), 2u);
}

// The POST form answers only 200: any other status is neither logged nor kept. A POST
// that cannot carry its body fails like a send.
TEST_F(FetcherRequestTest, ThePostFormAnswersOnly200) {
    m_server.SetDefaultReply(Reply(HttpResponse(404, "missing")));
    EXPECT_EQ(Post("/gone", "data"), 0u);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 0);
    EXPECT_TRUE(m_log.Records().empty());
    EXPECT_EQ(m_fetcher.Request(Url("/neg").c_str(), nullptr, nullptr, 0,
                                reinterpret_cast<BYTE*>(const_cast<char*>("x")), -1),
              0u);
    EXPECT_TRUE(m_log.Contains(kError, "[Http Post Send Error]ErrorCode=87, Url=/neg"));
    EXPECT_TRUE(
        m_log.Contains(kError, "[Http Error Detail]POST body length negative or its data missing"));
}

// A failed send logs its failure and then the same in plain words (the transport's own
// tests hold every kind of failure), and closes the session for the next request to open
// again. A body that fails part way keeps what arrived and the status, but is logged and
// marked incomplete.
TEST_F(FetcherRequestTest, BadAnswersEndWithinTheTimeOut) {
    struct Case {
        const char* name;
        Reply reply;
        DWORD status;
        std::string body;
        std::string log;  // the records' texts, one a line, each at the error level
        std::string url = "/c";
    };
    const std::string refused = rvtest::RefusedUrl("/nowhere");
    const std::string head100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    const char* limit = "over the limit of 1073741824 bytes";
    const Case cases[] = {
        {"refused", Reply(), 0, "",
         "[Http Send Error]ErrorCode=12029, Url=/nowhere\n[Http Error Detail]connection refused",
         refused},
        {"not http", Reply("<html>hello</html>\r\n\r\n").Close(), 0, "",
         "[Http Send Error]ErrorCode=12152, Url=/c\n[Http Error Detail]invalid response head: not "
         "an HTTP/1.0 or 1.1 status line"},
        {"silent", Reply().Hang(), 0, "",
         "[Http Send Error]ErrorCode=12002, Url=/c\n[Http Error Detail]timed out after 500 ms "
         "waiting for the response head"},
        {"cut short", Reply(head100 + std::string(5, 's')).Close(), 200, "sssss",
         "[Http Read Error]ErrorCode=12030, Url=/c\n[Http Error Detail]connection closed after 5 "
         "of 100 body bytes"},
        {"declared over the limit",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\nabcde"), 200, "",
         std::string("[Body Limit]Response body ") + limit +
             ", Url=/c\n[Http Read Error]ErrorCode=8, Url=/c\n[Http Error Detail]body " + limit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Clear();
        m_server.Enqueue(c.reply);
        m_fetcher.EndRequest();
        rvtest::LogCapture log;
        const auto start = std::chrono::steady_clock::now();
        const std::string url = c.url.front() == '/' ? Url(c.url) : c.url;
        EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 500), c.status);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(m_fetcher.Body(), c.body);
        EXPECT_EQ(m_fetcher.IsResponseComplete(), c.status == 200 ? 0 : 1);
        EXPECT_EQ(m_fetcher.IsSessionReady(0), c.status == 200 ? 1 : 0);
        std::string texts;
        for (const auto& record : log.Records()) {
            EXPECT_EQ(record.level, kError);
            texts += (texts.empty() ? "" : "\n") + record.text;
        }
        EXPECT_EQ(texts, c.log);
    }
    m_fetcher.EndRequest();
    EXPECT_EQ(m_fetcher.IsResponseComplete(), 1);
}

class FetcherTlsTest : public FetcherRequestTest {
  protected:
    void SetUp() override {
        m_env.Set("SSL_CERT_FILE", rvtest::TestCertificates::Get().CaFile());
        m_env.Unset("SSL_CERT_DIR");
        FetcherRequestTest::SetUp();
    }
};

// https goes over verified TLS on any port, and http naming port 443 too. (That a TLS
// request never reaches a plain server, nor an untrusted peer, is the transport's.)
TEST_F(FetcherTlsTest, ChoosesTlsByTheSchemeAndByPort443) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "tls")));
    const auto& pair = rvtest::TestCertificates::Get().Loopback();
    rvtest::TlsFront front(m_server.Port(), pair.certFile, pair.keyFile);
    const std::string secure = "https://127.0.0.1:" + std::to_string(front.Port()) + "/s";
    EXPECT_EQ(m_fetcher.Request(secure.c_str(), "user", "secret", 5000), 200u);
    EXPECT_EQ(m_fetcher.Body(), "tls");

    rvtest::TlsFront front443(m_server.Port(), pair.certFile, pair.keyFile, 443);
    if (!front443.IsListening()) {
        GTEST_SKIP() << "127.0.0.1:443 cannot be bound here";
    }
    m_fetcher.EndRequest();
    EXPECT_EQ(m_fetcher.Request("https://127.0.0.1/s", nullptr, nullptr, 5000), 200u);
    EXPECT_EQ(m_fetcher.Request("http://127.0.0.1:443/s", nullptr, nullptr, 5000), 200u);
    EXPECT_EQ(m_fetcher.Body(), "tlstls");
    EXPECT_EQ(m_server.RequestCount(), 3u);
}

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
    EXPECT_EQ(std::pair(f.GetResponse() == nullptr, f.Capacity()), std::pair(true, 0));
    EXPECT_EQ(f.RequestHeaders().GetSize(), 2);
    EXPECT_EQ(f.FindHeader("server"), "test");
    // Init again, also without Fini in between, gives a working object.
    ASSERT_EQ(f.Init(), 1);
    ASSERT_EQ(f.Init(), 1);
    EXPECT_EQ(f.IsInit(), 1);
}

// IsEncoding answers for the first Content-Encoding pair of the whole list, however the pair
// got there: recorded by ParseHeader or put in by a derived class itself; EndRequest starts
// the list over.
TEST(FetcherBufferTest, EncodingIsTheFirstOfTheWholeList) {
    TestFetcher f;
    ASSERT_EQ(f.Init(), 1);
    char plain[] = "Content-Type: text/plain";
    char zstd[] = "content-encoding: zstd";
    char identity[] = "Content-Encoding: identity";
    const auto encodingAfter = [&f](char* line) {
        f.ParseHeader(line);
        return f.IsEncoding();
    };
    EXPECT_EQ(f.IsEncoding(), 0);
    EXPECT_EQ(encodingAfter(plain), 0);
    EXPECT_EQ(encodingAfter(zstd), 1);
    EXPECT_EQ(encodingAfter(identity), 1) << "a later pair of the name does not count";
    f.EndRequest();
    EXPECT_EQ(f.IsEncoding(), 0);
    EXPECT_EQ(encodingAfter(identity), 0);
    EXPECT_EQ(encodingAfter(zstd), 0);
    f.ResponseHeaders().RemoveAll();
    f.ResponseHeaders().Add("CONTENT-ENCODING");
    f.ResponseHeaders().Add("gzip");
    EXPECT_EQ(f.IsEncoding(), 1);
}

TEST(FetcherBufferTest, SaveDataGrowsToExactlyWhatIsNeeded) {
    TestFetcher f;
    BYTE bytes[5000];
    std::memset(bytes, 'z', sizeof bytes);
    EXPECT_EQ(f.SaveData(bytes, 10), 0) << "no buffer before Init";
    ASSERT_EQ(f.Init(), 1);
    EXPECT_EQ(f.SaveData(nullptr, 10), 0);
    EXPECT_EQ(f.SaveData(bytes, 0), 0);
    for (const auto& [size, capacity] : {std::pair{2000, 2048}, {5000, 7000}, {3000, 10000}}) {
        EXPECT_EQ(f.SaveData(bytes, size), 1);
        EXPECT_EQ(f.Capacity(), capacity);
    }
    EXPECT_EQ(f.GetResponseSize(), 10000);
    // A size beyond the 32-bit count fails and changes nothing.
    EXPECT_EQ(f.SaveData(bytes, 0xFFFFFFF0u), 0);
    EXPECT_EQ(std::pair(f.GetResponseSize(), f.Capacity()), std::pair(10000L, 10000));
    f.EndRequest();  // the buffer is kept for the next request
    EXPECT_EQ(std::pair(f.GetResponseSize(), f.Capacity()), std::pair(0L, 10000));
    EXPECT_NE(f.GetResponse(), nullptr);
}

TEST_F(Request2Test, WorksWithoutInitAndMergesTheHeadersByName) {
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nSet-Cookie: a=1\r\nTight:x\r\n"
              "set-COOKIE:  b=2\r\nCoNtEnT-LeNgTh: 5\r\n\r\nhello"));
    m_fetcher.AddHeader("X-First", "1");
    m_fetcher.AddHeader("X-Last", "2");
    EXPECT_EQ(Get2("/page?id=7").status, 200u);
    EXPECT_EQ(Kept(), std::make_tuple(200, true, 5));
    EXPECT_EQ(m_fetcher.Body(), "hello");
    EXPECT_EQ(m_fetcher.Capacity(), 5);
    // Values keep the blank after the colon; repeats are joined with "; ".
    EXPECT_EQ(m_fetcher.FindHeader("set-cookie"), " a=1;   b=2");
    EXPECT_EQ(m_fetcher.FindHeader("Content-Type"), " text/html");
    EXPECT_EQ(m_fetcher.FindHeader("tight"), "x");
    EXPECT_EQ(m_fetcher.ResponseHeaders().GetSize(), 8);
    EXPECT_EQ(m_fetcher.GetRawResponseHeaders().Left(17), "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(m_fetcher.IsSessionReady(0), 0) << "the object's own session is not opened";

    const std::string request = m_server.Requests().at(0).bytes;
    EXPECT_EQ(request.rfind("GET /page?id=7 HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(request.find("\r\nX-First: 1\r\nX-Last: 2\r\n"), std::string::npos);
    // The server would keep the connection; the call's own session closes it all the same.
    ExpectNothingLeftOpen();

    // Each call starts from an empty response.
    m_server.Enqueue(Reply(HttpResponse(404, "missing", {{"X-A", "1"}})));
    EXPECT_EQ(Get2("/gone").status, 404u);
    EXPECT_EQ(Kept(), std::make_tuple(404, false, 0));
    EXPECT_EQ(m_fetcher.ResponseHeaders().GetSize(), 0);
    ExpectNothingLeftOpen();
}

TEST_F(Request2Test, PostsABodyAndAZeroLengthIsAGet) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "ok")));
    EXPECT_EQ(Call(Url("/submit"), 5000, "a=1&b=2", 7).status, 200u);
    EXPECT_EQ(Call(Url("/empty"), 5000, "unsent", 0).status, 200u);
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].RequestLine(), "POST /submit HTTP/1.1");
    EXPECT_EQ(requests[0].Body(), "a=1&b=2");
    EXPECT_EQ(requests[1].RequestLine(), "GET /empty HTTP/1.1");
    EXPECT_EQ(requests[1].Body(), "");

    // A body that cannot exist fails the send before anything goes out.
    EXPECT_EQ(Call(Url("/neg"), 5000, "x", -1).raised, kSendFailed);
    EXPECT_EQ(Call(Url("/null"), 5000, nullptr, 3).raised, kSendFailed);
    EXPECT_EQ(m_server.RequestCount(), 2u);
    ExpectNothingLeftOpen();
}

TEST_F(Request2Test, RaisesTheFailedStepAndKeepsNothing) {
    const std::string refused = rvtest::RefusedUrl("/nowhere");
    struct Case {
        const char* name;
        Reply reply;
        const char* raised;
        int status;                // the status the object keeps afterwards
        const char* lengthHeader;  // a header still recorded, or null for none
        std::string url = {};
    };
    const char* send = kSendFailed;
    const char* read = kReadFailed;
    const Case cases[] = {
        {"refused", Reply(), send, 0, nullptr, refused},
        {"silent", Reply().Hang(), send, 0, nullptr},
        // A body cut short is a failed read, never a body padded with zeros.
        {"closed before its length",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(60, 's')).Close(),
         read, 200, " 100"},
        {"closed before a length only Request2 reads",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 10, 12\r\n\r\nabc").Close(), read, 200,
         " 10, 12"},
        // A length above the body limit raises before anything is allocated.
        {"length above the limit",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\nabcde").Close(), "bad_alloc",
         200, " 2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Clear();
        m_server.Enqueue(c.reply);
        const auto start = std::chrono::steady_clock::now();
        const Outcome out = Call(c.url.empty() ? Url("/c") : c.url, 500);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(out.raised, c.raised);
        EXPECT_EQ(Kept(), std::make_tuple(c.status, false, 0));
        EXPECT_EQ(m_fetcher.FindHeader("Content-Length"), c.lengthHeader ? c.lengthHeader : "");
        ExpectNothingLeftOpen();
    }
    // URLs that are not http or https, or are refused, return 0 without raising or
    // connecting.
    const std::size_t connections = m_server.ConnectionCount();
    for (const std::string& url : {std::string("ftp://127.0.0.1/f"),
                                   Url("/") + std::string(70000, 'p'), Url("/a\r\nHost: evil")}) {
        const Outcome out = Call(url);
        EXPECT_EQ(out.status, 0u);
        EXPECT_EQ(out.raised, "");
    }
    EXPECT_EQ(m_server.ConnectionCount(), connections);
    ExpectNothingLeftOpen();
}

TEST_F(Request2Test, LeavesTheObjectsSessionAndLetsRequestGrowFromItsBody) {
    ASSERT_EQ(m_fetcher.Init(), 1);
    m_server.Enqueue(Reply(HttpResponse(200, "hello")));
    EXPECT_EQ(Get2("/one").status, 200u);
    EXPECT_EQ(m_fetcher.IsInit(), 1);
    m_fetcher.EndRequest();
    m_server.Enqueue(Reply(HttpResponse(200, "world!!")));
    EXPECT_EQ(Get("/two"), 200u);
    EXPECT_EQ(m_fetcher.Body(), "world!!");
    EXPECT_EQ(m_fetcher.Capacity(), 7);

    // Without a body left behind, Request has no buffer until the next Init.
    m_server.Enqueue(Reply(HttpResponse(200, "")));
    EXPECT_EQ(Get2("/three").status, 200u);
    m_server.Enqueue(Reply(HttpResponse(200, "four")));
    EXPECT_EQ(Get("/four"), 0u);
}

// The pieces of the streaming request that need no server: the header map and the declared
// length.
using namespace RVUtil::request2;

ResponseHeaderMap Parsed(std::string_view block) {
    RVUtil::http::HeadIndex index;
    index.Read(block);
    ResponseHeaderMap map;
    AddFields(RVUtil::http::HeadView(block, index), &map);
    return map;
}

TEST(ResponseHeaderMapTest, MergesNamesOfAnyCaseAndSplitsAtEveryLf) {
    EXPECT_EQ(HeaderNameHash{}("Content-Length"), HeaderNameHash{}("cONTENT-lENGTH"));
    EXPECT_FALSE(HeaderNameEqual{}("a_b", "A-B")) << "only letters fold";
    // LF ends a line, with or without a CR before it; a CR alone is part of its line, and
    // the text after the last LF is no line.
    const ResponseHeaderMap map = Parsed(
        "HTTP/1.1 200 OK\nSet-Cookie: a=1\nX:\r\nSET-COOKIE:b=2\r\n: v\r\n"
        "C: x:y\rz\r\n\r\nD: 4");
    ASSERT_EQ(map.size(), 4u);
    const auto cookie = map.find("set-cookie");
    ASSERT_NE(cookie, map.end());
    EXPECT_EQ(cookie->first, "Set-Cookie") << "the first spelling names the entry";
    EXPECT_EQ(cookie->second, " a=1; b=2");
    EXPECT_EQ(map.at("x"), "");
    EXPECT_EQ(map.at(""), " v");
    EXPECT_EQ(map.at("c"), " x:y\rz") << "split at the first colon";
    // The given length bounds the text: an LF beyond it is not seen.
    EXPECT_EQ(Parsed(std::string_view("A: 1\r\nB: 2\r\n", 11)).size(), 1u);
}

TEST(DeclaredLengthTest, ReadsLikeStoulIntoThirtyTwoBits) {
    // clang-format off
    const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
        {" 10;  10", 10u}, {"\t\n\v\f\r 7", 7u}, {"+5", 5u}, {"007x", 7u}, {"0x10", 0u},
        {"4294967295", 4294967295u}, {"-1", 4294967295u}, {"-4294967295", 1u},
        {"4294967296", {}}, {"-4294967296", {}}, {"123456789012345678901", {}},
        {"", {}}, {" ", {}}, {"-", {}}, {"+ 5", {}}, {"abc", {}}};
    // clang-format on
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(RVUtil::http::ReadUnsignedLong32(text), value) << '"' << text << '"';
    }
    EXPECT_EQ(DeclaredContentLength(Parsed("CONTENT-LENGTH: 12\r\n")), 12u);
    EXPECT_EQ(DeclaredContentLength(Parsed("Content-Length: none\r\n")), 0u);
    EXPECT_EQ(DeclaredContentLength(Parsed("Content-Type: 12\r\n")), 0u);
}

}  // namespace

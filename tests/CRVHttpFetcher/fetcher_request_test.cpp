// CRVHttpFetcher's GET and POST against scripted loopback servers: what goes on the wire,
// what the object keeps, what the log says, and how bad answers end.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "CompressedBodies.h"
#include "FetcherTestSupport.h"
#include "LogCapture.h"
#include "ScopedEnvironment.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "TlsFront.h"

namespace {

using namespace std::chrono_literals;
using rvtest::HttpResponse;
using rvtest::Reply;
using rvtest::TestFetcher;
constexpr int kError = CPXLog::LVL_ERROR;

class FetcherRequestTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_env.UnsetProxies();
        ASSERT_EQ(m_fetcher.Init(), 1);
    }
    std::string Url(const std::string& path) const { return m_server.Url(path); }
    DWORD Get(const std::string& path, DWORD timeout = 5000) {
        return m_fetcher.Request(Url(path).c_str(), nullptr, nullptr, timeout);
    }
    DWORD Post(const std::string& path, const std::string& body) {
        return m_fetcher.Request(Url(path).c_str(), nullptr, nullptr, 5000,
                                 reinterpret_cast<BYTE*>(const_cast<char*>(body.data())),
                                 static_cast<int>(body.size()));
    }

    rvtest::ScopedEnvironment m_env;
    rvtest::ScriptedServer m_server;
    TestFetcher m_fetcher;
    rvtest::LogCapture m_log;
};

TEST_F(FetcherRequestTest, GetRecordsStatusHeadersAndBodyOverOneKeptConnection) {
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTight:x\r\nEmpty: \r\nTwo:  spaces\r\n"
              "Content-Length: 5\r\n\r\nhello"));
    m_fetcher.AddHeader("X-First", "1");
    m_fetcher.AddHeader("X-Empty", "");
    m_fetcher.AddHeader("X-Last", "3");
    EXPECT_EQ(Get("/page?id=7"), 200u);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 200);
    EXPECT_EQ(m_fetcher.Body(), "hello");
    EXPECT_EQ(m_fetcher.FindHeader("CONTENT-TYPE"), "text/html");
    EXPECT_EQ(m_fetcher.FindHeader("Tight"), "");
    EXPECT_EQ(m_fetcher.FindHeader("Two"), " spaces");
    EXPECT_EQ(m_fetcher.ResponseHeaders().GetSize(), 8);

    const std::string request = m_server.Requests().at(0).bytes;
    EXPECT_EQ(request.rfind("GET /page?id=7 HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(request.find("X-First: 1\r\nX-Empty: \r\nX-Last: 3\r\n"), std::string::npos);

    // Without EndRequest the next body and headers are appended to these.
    m_server.Enqueue(Reply(HttpResponse(200, " world", {{"Content-Type", "text/plain"}})));
    EXPECT_EQ(Get("/second"), 200u);
    EXPECT_EQ(m_fetcher.Body(), "hello world");
    EXPECT_EQ(m_fetcher.FindHeader("content-type"), "text/html");
    m_fetcher.EndRequest();
    EXPECT_EQ(m_fetcher.GetResponseSize(), 0);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 0);
    EXPECT_NE(m_fetcher.GetResponse(), nullptr);
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    EXPECT_TRUE(m_log.Records().empty());
}

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

TEST_F(FetcherRequestTest, StatusOtherThan200) {
    m_server.SetDefaultReply(Reply(HttpResponse(404, "missing", {{"X-A", "1"}})));
    EXPECT_EQ(Get("/gone"), 404u);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 404);
    EXPECT_EQ(m_fetcher.GetResponseSize(), 0);
    EXPECT_EQ(m_fetcher.ResponseHeaders().GetSize(), 0);
    EXPECT_TRUE(m_log.Contains(kError, "Http Status Error 404  /gone"));

    // The POST form neither logs nor keeps the code.
    const std::size_t records = m_log.Records().size();
    EXPECT_EQ(Post("/gone", "data"), 0u);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 0);
    EXPECT_EQ(m_log.Records().size(), records);
    // The body left unread was already here, so the connection still serves the next one.
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
}

TEST_F(FetcherRequestTest, PostSendsTheBodyAndAZeroLengthPostIsAGet) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "ok")));
    EXPECT_EQ(Post("/submit", "a=1&b=2"), 200u);
    EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 200);
    EXPECT_EQ(Post("/empty", ""), 200u);
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].RequestLine(), "POST /submit HTTP/1.1");
    EXPECT_EQ(requests[0].Body(), "a=1&b=2");
    EXPECT_NE(requests[0].bytes.find("Content-Length: 7\r\n"), std::string::npos);
    EXPECT_EQ(requests[1].RequestLine(), "GET /empty HTTP/1.1");
    EXPECT_EQ(m_fetcher.Body(), "okok");

    // A negative length sends nothing and fails like a send.
    EXPECT_EQ(m_fetcher.Request(Url("/neg").c_str(), nullptr, nullptr, 0,
                                reinterpret_cast<BYTE*>(const_cast<char*>("x")), -1),
              0u);
    EXPECT_TRUE(m_log.Contains(kError, "[Http Post Send Error]ErrorCode=87, Url=/neg"));
    EXPECT_TRUE(
        m_log.Contains(kError, "[Http Error Detail]POST body length negative or its data missing"));
}

TEST_F(FetcherRequestTest, AFailedSendClosesTheSessionAndTheNextRequestReopensIt) {
    std::string refused;
    {
        rvtest::ScriptedServer gone;
        refused = gone.Url("/nowhere");
    }
    EXPECT_EQ(m_fetcher.Request(refused.c_str(), nullptr, nullptr, 1000), 0u);
    EXPECT_TRUE(m_log.Contains(kError, "[Http Send Error]ErrorCode=12029, Url=/nowhere"));
    EXPECT_TRUE(m_log.Contains(kError, "[Http Error Detail]connection refused"));
    EXPECT_EQ(m_fetcher.IsSessionReady(0), 0);
    EXPECT_EQ(m_fetcher.IsInit(), 0);

    m_server.Enqueue(Reply(HttpResponse(200, "back")));
    EXPECT_EQ(Get("/again"), 200u);
    EXPECT_EQ(m_fetcher.IsInit(), 1);

    // Only http and https: other schemes never reach the network, not even the server's port.
    const std::string port = std::to_string(m_server.Port());
    for (const std::string& url :
         {"ftp://127.0.0.1:" + port + "/f", std::string("file:///etc/passwd"),
          "gopher://127.0.0.1:" + port + "/_SET%20x%201%0D%0AQUIT"}) {
        EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 0), 0u) << url;
    }
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
}

// A failed send logs its failure and then the same in plain words. A body that fails part
// way keeps what arrived and the status, but is logged and marked incomplete.
TEST_F(FetcherRequestTest, BadAnswersEndWithinTheTimeOut) {
    struct Case {
        const char* name;
        Reply reply;
        DWORD status;
        std::string body;
        std::vector<std::string> log;
    };
    const std::string head100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    const Case cases[] = {
        {"not http",
         Reply("<html>hello</html>\r\n\r\n").Close(),
         0,
         "",
         {"[Http Send Error]ErrorCode=12152, Url=/c", "[Http Error Detail]invalid response head"}},
        {"no blank line",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n").Close(),
         0,
         "",
         {"[Http Send Error]ErrorCode=12152, Url=/c",
          "[Http Error Detail]connection closed inside the response head"}},
        {"silent",
         Reply().Hang(),
         0,
         "",
         {"[Http Send Error]ErrorCode=12002, Url=/c",
          "[Http Error Detail]timed out after 500 ms waiting for the response head"}},
        {"closed",
         Reply().Close(),
         0,
         "",
         {"[Http Send Error]ErrorCode=12030, Url=/c",
          "[Http Error Detail]connection closed before any response"}},
        {"cut short",
         Reply(head100 + std::string(5, 's')).Close(),
         200,
         "sssss",
         {"[Http Read Error]ErrorCode=12030, Url=/c",
          "[Http Error Detail]connection closed after 5 of 100 body bytes"}},
        {"bad chunk",
         Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\nzz\r\n"),
         200,
         "ok",
         {"[Http Read Error]ErrorCode=12152, Url=/c", "[Http Error Detail]bad chunk size"}},
        {"stalled body",
         Reply(head100 + "ab").Hang(),
         200,
         "ab",
         {"[Http Read Error]ErrorCode=12002, Url=/c",
          "[Http Error Detail]timed out after 500 ms with the body stalled after 2 of 100 body "
          "bytes"}},
        {"declared over the limit",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\nabcde"),
         200,
         "",
         {"[Body Limit]Response body over the limit of 1073741824 bytes, Url=/c",
          "[Http Read Error]ErrorCode=8, Url=/c",
          "[Http Error Detail]body over the limit of 1073741824 bytes"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Clear();
        m_server.Enqueue(c.reply);
        m_fetcher.EndRequest();
        rvtest::LogCapture log;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Get("/c", 500), c.status);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(m_fetcher.Body(), c.body);
        EXPECT_EQ(m_fetcher.IsResponseComplete(), c.status == 200 ? 0 : 1);
        std::vector<std::string> texts;
        for (const auto& record : log.Records()) {
            EXPECT_EQ(record.level, kError);
            texts.push_back(record.text);
        }
        EXPECT_EQ(texts, c.log);
    }
    m_fetcher.EndRequest();
    EXPECT_EQ(m_fetcher.IsResponseComplete(), 1);
}

TEST_F(FetcherRequestTest, DecodesGzipAndZstdBodies) {
    const rvtest::Bytes text = rvtest::TextBytes(20000);
    const rvtest::Bytes gz = rvtest::Gzip(text);
    m_server.Enqueue(Reply(
        HttpResponse(200, std::string(gz.begin(), gz.end()), {{"Content-Encoding", "x-GZIP"}})));
    ASSERT_EQ(Get("/gz"), 200u);
    EXPECT_EQ(m_fetcher.IsEncoding(), 1);
    BYTE* out = nullptr;
    const long n = m_fetcher.Decompress(&out);
    ASSERT_EQ(n, static_cast<long>(text.size()));
    EXPECT_EQ(rvtest::Bytes(out, out + n), text);
    delete[] out;

    m_fetcher.EndRequest();
    EXPECT_EQ(m_fetcher.IsEncoding(), 0);
    out = reinterpret_cast<BYTE*>(&out);
    EXPECT_EQ(m_fetcher.Decompress(&out), 0);
    EXPECT_EQ(out, reinterpret_cast<BYTE*>(&out)) << "left untouched without an encoding";

    const rvtest::Bytes zs = rvtest::Zstd(text);
    m_server.Enqueue(Reply(
        HttpResponse(200, std::string(zs.begin(), zs.end()), {{"content-encoding", "zstd"}})));
    ASSERT_EQ(Get("/zs"), 200u);
    EXPECT_EQ(m_fetcher.IsEncoding(), 1);
    out = nullptr;
    EXPECT_EQ(m_fetcher.Decompress(&out), static_cast<long>(text.size()));
    delete[] out;

    m_fetcher.EndRequest();
    m_server.Enqueue(
        Reply(HttpResponse(200, "definitely not gzip", {{"Content-Encoding", "gzip"}})));
    ASSERT_EQ(Get("/bad"), 200u);
    out = nullptr;
    EXPECT_LT(m_fetcher.Decompress(&out), 1);
    delete[] out;
}

class FetcherTlsTest : public FetcherRequestTest {
  protected:
    void SetUp() override {
        m_env.Set("SSL_CERT_FILE", rvtest::TestCertificates::Get().CaFile());
        m_env.Unset("SSL_CERT_DIR");
        FetcherRequestTest::SetUp();
    }
};

// https goes over verified TLS on any port, and http naming port 443 too; nothing of an
// https request, its credentials above all, is ever sent in plain text.
TEST_F(FetcherTlsTest, ChoosesTlsByTheSchemeAndByPort443) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "tls")));
    const auto& pair = rvtest::TestCertificates::Get().Loopback();
    rvtest::TlsFront front(m_server.Port(), pair.certFile, pair.keyFile);
    const std::string secure = "https://127.0.0.1:" + std::to_string(front.Port()) + "/s";
    EXPECT_EQ(m_fetcher.Request(secure.c_str(), "user", "secret", 5000), 200u);
    EXPECT_EQ(m_fetcher.Body(), "tls");

    const std::string plain = "https://127.0.0.1:" + std::to_string(m_server.Port()) + "/p";
    EXPECT_EQ(m_fetcher.Request(plain.c_str(), "user", "secret", 500), 0u);
    EXPECT_EQ(m_server.RequestCount(), 1u) << "nothing reached the plain server";
    EXPECT_TRUE(m_log.Contains(kError, "[Http Send Error]ErrorCode=12002, Url=/p"));

    const auto& untrusted = rvtest::TestCertificates::Get().Untrusted();
    rvtest::TlsFront selfSigned(m_server.Port(), untrusted.certFile, untrusted.keyFile);
    const std::string bad = "https://127.0.0.1:" + std::to_string(selfSigned.Port()) + "/u";
    EXPECT_EQ(m_fetcher.Request(bad.c_str(), nullptr, nullptr, 5000), 0u);
    EXPECT_TRUE(m_log.Contains(kError, "[Http Send Error]ErrorCode=12175, Url=/u"));
    EXPECT_TRUE(m_log.Contains(
        kError, "[Http Error Detail]TLS certificate not trusted: self-signed certificate"));

    rvtest::TlsFront front443(m_server.Port(), pair.certFile, pair.keyFile, 443);
    if (!front443.IsListening()) {
        GTEST_SKIP() << "127.0.0.1:443 cannot be bound here";
    }
    m_fetcher.EndRequest();
    EXPECT_EQ(m_fetcher.Request("https://127.0.0.1/s", nullptr, nullptr, 5000), 200u);
    EXPECT_EQ(m_fetcher.Request("http://127.0.0.1:443/s", nullptr, nullptr, 5000), 200u);
    EXPECT_EQ(m_fetcher.Body(), "tlstls");
    EXPECT_EQ(m_server.RequestCount(), 3u);
    EXPECT_EQ(front443.FailedHandshakes(), 0u);
}

TEST_F(FetcherTlsTest, RefusesAPeerWithTheWrongName) {
    const auto& pair = rvtest::TestCertificates::Get().WrongName();
    rvtest::TlsFront front(m_server.Port(), pair.certFile, pair.keyFile, 443);
    if (!front.IsListening()) {
        GTEST_SKIP() << "127.0.0.1:443 cannot be bound here";
    }
    EXPECT_EQ(m_fetcher.Request("https://127.0.0.1/s", nullptr, nullptr, 5000), 0u);
    EXPECT_TRUE(m_log.Contains(kError, "[Http Send Error]ErrorCode=12175, Url=/s"));
    EXPECT_TRUE(m_log.Contains(kError, "[Http Error Detail]TLS host name mismatch"));
    EXPECT_EQ(m_server.RequestCount(), 0u);
}

}  // namespace

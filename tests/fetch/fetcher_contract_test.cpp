// What both fetchers promise, against a scripted server: the request on the wire, the
// answer kept, request headers, POST bytes, decoding, refused URLs and one kept-alive
// connection. Where the two differ on purpose the family says so (ReadFamilies.h).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CompressedBodies.h"
#include "LogCapture.h"
#include "RVUtil/Fetch.h"
#include "ReadFamilies.h"
#include "ScopedEnvironment.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "TlsFront.h"

using RVUtil::log::CPXLog;

namespace rvtest {
namespace {

template <class Family>
class FetcherContractTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_env.UnsetProxies();
        ASSERT_TRUE(m_fetcher.Init());
    }

    DWORD Get(const std::string& path, DWORD timeout = 5000) {
        return m_fetcher.Request(m_server.Url(path).c_str(), nullptr, nullptr, timeout);
    }
    DWORD Post(const std::string& path, BYTE* data, int length) {
        return m_fetcher.Request(m_server.Url(path).c_str(), nullptr, nullptr, 5000, data, length);
    }
    std::string Body() { return BodyOf(m_fetcher); }

    ScopedEnvironment m_env;
    ScriptedServer m_server;
    LogCapture m_log;
    typename Family::Fetcher m_fetcher;
};

TYPED_TEST_SUITE(FetcherContractTest, Families<::testing::Types>);

// Every exchange here goes over the one connection the first opened.
TYPED_TEST(FetcherContractTest, KeepsTheAnswerOverOneKeptConnection) {
    auto& f = this->m_fetcher;
    this->m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTight:x\r\nSet-Cookie: a=1\r\n"
              "Content-Length: 5\r\n\r\nhello"));
    this->m_server.Enqueue(
        Reply(HttpResponse(200, " world", {{"Set-Cookie", "b=2"}, {"X-Second", "y"}})));
    this->m_server.Enqueue(Reply(HttpResponse(404, "<h1>gone</h1>", {{"X-A", "1"}})));
    this->m_server.Enqueue(Reply(HttpResponse(200, Chunked(std::string(10000, 'c'), 777),
                                              {{"Transfer-Encoding", "chunked"}})));
    const std::string large(3 * 1024 * 1024 + 17, 'L');
    this->m_server.Enqueue(Reply(HttpResponse(200, large)));

    ASSERT_EQ(this->Get("/a/b?c=d"), TypeParam::Completed(200));
    EXPECT_EQ(f.GetResponseHttpStatus(), 200);
    EXPECT_EQ(this->Body(), "hello");
    EXPECT_EQ(f.FindHeader("CONTENT-TYPE"), "text/html");
    EXPECT_EQ(f.FindHeader("Tight"), "") << "a header line needs the blank after its colon";
    EXPECT_EQ(this->m_server.Requests().at(0).RequestLine(), "GET /a/b?c=d HTTP/1.1");

    // Without EndRequest the first answer's headers still win.
    ASSERT_EQ(this->Get("/second"), TypeParam::Completed(200));
    EXPECT_EQ(this->Body(), TypeParam::kAppendsBodies ? "hello world" : " world");
    EXPECT_EQ(f.FindHeader("set-cookie"), "a=1");
    EXPECT_EQ(f.FindHeader("X-Second"), "y");
    f.EndRequest();
    EXPECT_EQ(f.FindHeader("X-Second"), "");
    EXPECT_EQ(f.GetResponseSize(), TypeParam::kAppendsBodies ? 0 : 6);

    EXPECT_EQ(this->Get("/gone"), TypeParam::Completed(404));
    EXPECT_EQ(f.GetResponseHttpStatus(), 404);
    EXPECT_EQ(this->Body(), TypeParam::kKeepsErrorAnswers ? "<h1>gone</h1>" : "");
    EXPECT_EQ(f.FindHeader("X-A"), TypeParam::kKeepsErrorAnswers ? "1" : "");
    EXPECT_EQ(this->m_log.Contains(CPXLog::LVL_ERROR, "Http Status Error 404  /gone"),
              !TypeParam::kKeepsErrorAnswers);
    f.EndRequest();

    ASSERT_EQ(this->Get("/chunked"), TypeParam::Completed(200));
    EXPECT_EQ(this->Body(), std::string(10000, 'c'));
    f.EndRequest();
    ASSERT_EQ(this->Get("/large", 30000), TypeParam::Completed(200));
    EXPECT_TRUE(this->Body() == large);
    EXPECT_EQ(this->m_server.ConnectionCount(), 1u);
}

// The list rules themselves are the shared ones (tests/http); here, that each fetcher sends
// what the list holds, in order, and nothing of a refused header.
TYPED_TEST(FetcherContractTest, SendsTheRequestHeadersTheListHolds) {
    auto& f = this->m_fetcher;
    this->m_server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    f.AddHeader("X-Id", "1");
    f.AddHeader("X-Other", "a");
    f.AddHeader("x-id", "3");
    f.AddHeader("X-Id", "2");
    f.AddHeader("X-Bad", "v\r\nInjected: yes");
    f.AddHeader("X-Empty", "");
    ASSERT_EQ(this->Get("/"), TypeParam::Completed(200));
    f.RemoveHeader("X-Other");
    f.EndRequest();
    ASSERT_EQ(this->Get("/"), TypeParam::Completed(200));

    const auto requests = this->m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string first(requests[0].Head());
    const std::string lines = TypeParam::SentLine("X-Id", "2") + "\r\n" +
                              TypeParam::SentLine("X-Other", "a") + "\r\n" +
                              TypeParam::SentLine("x-id", "3") + "\r\n";
    EXPECT_NE(first.find(lines), std::string::npos) << first;
    EXPECT_EQ(first.find("Injected"), std::string::npos);
    EXPECT_EQ(first.find("\r\nX-Empty: \r\n") != std::string::npos, TypeParam::kSendsEmptyValues);
    const std::string second(requests[1].Head());
    EXPECT_EQ(second.find("X-Other"), std::string::npos);
    EXPECT_NE(second.find(TypeParam::SentLine("x-id", "3")), std::string::npos);
    EXPECT_TRUE(this->m_log.Contains(CPXLog::LVL_WARNING,
                                     "Request header refused (CR, LF or NUL in the value): X-Bad"));
}

TYPED_TEST(FetcherContractTest, PostSendsExactlyTheGivenBytesAndTheGetAfterItNone) {
    this->m_server.Enqueue(Reply(HttpResponse(200, "made")));
    this->m_server.SetDefaultReply(Reply(HttpResponse(200, "")));
    const BYTE bytes[] = {'a', 0, 'b', 0xFF, '\r', '\n'};
    {
        auto data = std::make_unique<BYTE[]>(sizeof bytes);
        std::memcpy(data.get(), bytes, sizeof bytes);
        ASSERT_EQ(this->Post("/post", data.get(), sizeof bytes), TypeParam::Completed(200));
        EXPECT_EQ(this->Body(), "made");
    }  // the data is gone; AddressSanitizer reports any later read of it
    this->m_fetcher.EndRequest();
    BYTE unsent[] = {'u'};
    ASSERT_EQ(this->Post("/empty", unsent, 0), TypeParam::Completed(200));
    ASSERT_EQ(this->Get("/get"), TypeParam::Completed(200));
    // A negative length, or bytes promised behind null, fail without a transfer.
    EXPECT_EQ(this->Post("/neg", unsent, -1), 0u);
    EXPECT_EQ(this->Post("/null", nullptr, 10), 0u);

    const auto requests = this->m_server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].RequestLine(), "POST /post HTTP/1.1");
    EXPECT_NE(requests[0].Head().find("\r\nContent-Length: 6\r\n"), std::string::npos);
    EXPECT_EQ(requests[0].Body(), std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
    EXPECT_EQ(requests[1].RequestLine(),
              std::string(TypeParam::kEmptyPostMethod) + " /empty HTTP/1.1");
    EXPECT_EQ(requests[1].Body(), "");
    EXPECT_EQ(requests[2].RequestLine(), "GET /get HTTP/1.1");
    EXPECT_EQ(requests[2].Head().find("Content-Length"), std::string::npos);
    EXPECT_EQ(requests[2].Body(), "");
}

// The decoders and the encoding names are tested on their own (tests/decoding); here each
// kind of body goes through each fetcher once. Failures report zero or less, and a failed
// zstd frame still hands over the array it was decoded into, for the caller to release.
TYPED_TEST(FetcherContractTest, DecompressDecodesWhatTheContentEncodingNames) {
    enum Out { Untouched, Null, Array };
    const Bytes plain = TextBytes(20000);
    const std::string body = AsText(plain);
    const std::string gzip = AsText(Gzip(plain));
    std::string corruptZstd = AsText(Zstd(plain));
    for (std::size_t i = 12; i < corruptZstd.size(); i += 7) {
        corruptZstd[i] = static_cast<char>(corruptZstd[i] ^ 0x5A);
    }
    const struct {
        std::string sent;
        const char* encoding;
        long result;  // exact, or for a failure with an array the highest allowed
        Out out;
    } cases[] = {
        {"opaque", "", 0, Untouched},
        {"opaque", "br", 0, Untouched},
        {gzip, "x-GZIP", static_cast<long>(body.size()), Array},
        {AsText(Zstd(plain)), "zstd", static_cast<long>(body.size()), Array},
        {AsText(Zstd(plain, false)), "zstd", static_cast<long>(body.size()), Array},
        {gzip.substr(0, gzip.size() / 2), "gzip", 0, Null},
        {"", "gzip", 0, Null},
        {corruptZstd, "zstd", -1, Array},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + ", " + std::to_string(c.sent.size()) + " bytes");
        this->m_fetcher.EndRequest();
        HeaderLines headers;
        if (*c.encoding != '\0') {
            headers.emplace_back("Content-Encoding", c.encoding);
        }
        this->m_server.Enqueue(Reply(HttpResponse(200, c.sent, headers)));
        ASSERT_EQ(this->Get("/"), TypeParam::Completed(200));
        EXPECT_EQ(this->m_fetcher.IsEncoding() != 0, c.out != Untouched);
        EXPECT_TRUE(this->Body() == c.sent);
        BYTE sentinel = 0;
        BYTE* out = &sentinel;
        const long result = this->m_fetcher.Decompress(&out);
        const std::unique_ptr<BYTE[]> owned(out == &sentinel ? nullptr : out);
        EXPECT_EQ(out == &sentinel ? Untouched : out == nullptr ? Null : Array, c.out);
        if (c.result > 0) {
            EXPECT_EQ(result, c.result);
            EXPECT_TRUE(std::string(reinterpret_cast<char*>(out), result) == body);
        } else if (c.out == Array) {
            EXPECT_LE(result, c.result);
        } else {
            EXPECT_EQ(result, c.result);
        }
    }
}

// A POST goes out once. A server that read it and then ended the connection without an
// answer may have acted on it, so the fetcher fails the request and never sends it again,
// though the POST followed a kept-alive exchange; the GET after it works as ever.
TYPED_TEST(FetcherContractTest, APostIsNeverSentTwice) {
    const auto posts = [this] {
        std::size_t count = 0;
        for (const RecordedRequest& request : this->m_server.Requests()) {
            count += request.RequestLine().rfind("POST ", 0) == 0 ? 1 : 0;
        }
        return count;
    };
    // The second tells whether the records must say the connection closed after the request
    // was sent (a head cut short may be reported as such instead).
    const std::pair<Reply, bool> endings[] = {
        {Reply().Close(), true}, {Reply().Reset(), true}, {Reply("HTTP/1.").Close(), false}};
    for (const auto& [ending, closedAfterSending] : endings) {
        this->m_server.Clear();
        this->m_server.Enqueue(Reply(HttpResponse(200, "first", {{"Connection", "keep-alive"}})));
        this->m_server.Enqueue(ending);
        // What a fetcher that sent the POST again would get.
        this->m_server.SetDefaultReply(Reply(HttpResponse(200, "again")));
        const LogCapture log;
        ASSERT_EQ(this->Get("/first"), TypeParam::Completed(200));
        this->m_fetcher.EndRequest();
        BYTE order[] = "order=1";
        EXPECT_EQ(this->Post("/order", order, 7), 0u);
        EXPECT_EQ(posts(), 1u);
        const auto records = log.Records();
        EXPECT_TRUE(!closedAfterSending ||
                    std::any_of(records.begin(), records.end(), [](const LogRecord& r) {
                        return r.text.find("after the request was sent") != std::string::npos;
                    }));
        this->m_fetcher.EndRequest();
        EXPECT_EQ(this->Get("/next"), TypeParam::Completed(200));
        EXPECT_EQ(this->Body(), "again");
    }
}

// SSL_CERT_FILE names the certificates both fetchers trust: a peer signed by the authority
// it names is trusted by either, one nobody signed by neither.
TYPED_TEST(FetcherContractTest, TrustsTheCertificatesTheTrustStoreVariablesName) {
    const TestCertificates& certs = TestCertificates::Get();
    this->m_env.Set("SSL_CERT_FILE", certs.CaFile());
    this->m_env.Unset("SSL_CERT_DIR");
    typename TypeParam::Fetcher fetcher;  // made after the variables are set
    ASSERT_TRUE(fetcher.Init());
    TlsFront trusted(this->m_server.Port(), certs.Loopback().certFile, certs.Loopback().keyFile);
    TlsFront untrusted(this->m_server.Port(), certs.Untrusted().certFile,
                       certs.Untrusted().keyFile);
    ASSERT_TRUE(trusted.IsListening() && untrusted.IsListening());
    this->m_server.SetDefaultReply(Reply(HttpResponse(200, "tls")));
    const auto get = [&](const TlsFront& front) {
        const std::string url = "https://127.0.0.1:" + std::to_string(front.Port()) + "/";
        const DWORD result = fetcher.Request(url.c_str(), nullptr, nullptr, 5000);
        fetcher.EndRequest();
        return result;
    };
    EXPECT_EQ(get(trusted), TypeParam::Completed(200));
    EXPECT_EQ(get(untrusted), 0u);
}

// What a fetch's options ask of the request reaches the wire the same way on both fetchers:
// HEAD, credentials, headers added and removed, a proxy of its own or none, the connect
// time-out apart from the wait for the answer, and the request head kept.
TYPED_TEST(FetcherContractTest, FetchOptionsReachTheWire) {
    using namespace std::chrono_literals;
    auto& f = this->m_fetcher;
    f.AddHeader("X-Own", "mine");
    const std::string url = this->m_server.Url("/opt?q=1");
    const auto lastHead = [this] { return std::string(this->m_server.Requests().back().Head()); };

    this->m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"));
    FetchOptions head;
    head.method = FetchMethod::Head;
    head.credentials = {{"user", "secret"}};
    head.headers = {{"x-own", "theirs"}, {"X-Empty", ""}};
    head.removedHeaders = {"Accept"};
    head.keepRequestHead = true;
    const FetchOutcome headed = Fetch(f, url, head);
    EXPECT_EQ(std::tuple(headed.code, headed.status, headed.body.size()),
              std::tuple(ERR_OK, 200, std::size_t{0}));
    const std::string sent = lastHead();
    EXPECT_EQ(sent.rfind("HEAD /opt?q=1 HTTP/1.1\r\n", 0), 0u) << sent;
    EXPECT_NE(sent.find("Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"), std::string::npos);
    EXPECT_NE(sent.find("x-own: theirs\r\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("mine"), std::string::npos);
    EXPECT_NE(sent.find("X-Empty:"), std::string::npos);
    EXPECT_EQ(sent.find("Accept:"), std::string::npos);
    EXPECT_EQ(headed.requestHead, sent) << "the head kept is the head sent";

    // A proxy of the fetch's own, whatever the environment says; "" goes direct.
    this->m_env.Set("http_proxy", RefusedUrl());
    this->m_server.Enqueue(Reply(HttpResponse(200, "via proxy")));
    FetchOptions proxied;
    proxied.proxy = "http://127.0.0.1:" + std::to_string(this->m_server.Port());
    const FetchOutcome viaProxy = Fetch(f, "http://origin.test/p", proxied);
    EXPECT_EQ(viaProxy.body.text(), "via proxy") << viaProxy.failure.words;
    EXPECT_EQ(this->m_server.Requests().back().Target(), "http://origin.test/p");
    FetchOptions direct;
    direct.proxy = "";
    this->m_server.Enqueue(Reply(HttpResponse(200, "direct")));
    EXPECT_EQ(Fetch(f, url, direct).body.text(), "direct");
    this->m_env.Unset("http_proxy");

    // A POST of no bytes is a POST; hosts listed in noProxy go direct past the system's
    // proxy too.
    this->m_env.Set("http_proxy", RefusedUrl());
    this->m_server.Enqueue(Reply(HttpResponse(200, "posted")));
    FetchOptions emptyPost;
    emptyPost.method = FetchMethod::Post;
    emptyPost.noProxy = "127.0.0.1";
    EXPECT_EQ(Fetch(f, url, emptyPost).body.text(), "posted");
    EXPECT_EQ(lastHead().rfind("POST /opt?q=1 HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(lastHead().find("Content-Length: 0\r\n"), std::string::npos);
    this->m_env.Unset("http_proxy");

    // maxTime bounds the whole request, a body that keeps coming too.
    this->m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n")
                               .Trickle(std::string(1000, 't'), 100, 150ms));
    FetchOptions bounded;
    bounded.maxTime = 400ms;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch(f, url, bounded).failure.kind, FailureKind::Timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1200ms);

    // The connect time-out bounds connecting alone: a slow answer still comes.
    this->m_server.Enqueue(Reply().Delay(1500ms).Send(HttpResponse(200, "slow")));
    FetchOptions patient;
    patient.connectTimeout = 500ms;
    patient.timeout = 5000ms;
    const FetchOutcome slow = Fetch(f, url, patient);
    EXPECT_EQ(slow.body.text(), "slow") << slow.failure.words;
}

// A fetch names its own trust: a certificate authority of its own, or none at all.
TYPED_TEST(FetcherContractTest, FetchOptionsNameTheirOwnTrust) {
    const TestCertificates& certs = TestCertificates::Get();
    this->m_env.Unset("SSL_CERT_FILE");
    this->m_env.Unset("SSL_CERT_DIR");
    typename TypeParam::Fetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    TlsFront trusted(this->m_server.Port(), certs.Loopback().certFile, certs.Loopback().keyFile);
    ASSERT_TRUE(trusted.IsListening());
    this->m_server.SetDefaultReply(Reply(HttpResponse(200, "tls")));
    const std::string url = "https://127.0.0.1:" + std::to_string(trusted.Port()) + "/";
    EXPECT_EQ(Fetch(fetcher, url).failure.kind, FailureKind::Tls);
    FetchOptions ownCa;
    ownCa.caFile = certs.CaFile();
    EXPECT_EQ(Fetch(fetcher, url, ownCa).body.text(), "tls");
    FetchOptions insecure;
    insecure.verifyPeer = false;
    EXPECT_EQ(Fetch(fetcher, url, insecure).body.text(), "tls");
    EXPECT_EQ(Fetch(fetcher, url).failure.kind, FailureKind::Tls) << "trust stays with the fetch";
}

// Schemes other than http and https, and URLs that would split the request line, never
// reach the network.
TYPED_TEST(FetcherContractTest, RefusedUrlsNeverReachTheNetwork) {
    const std::string at = "127.0.0.1:" + std::to_string(this->m_server.Port());
    for (const std::string& url :
         {std::string("file:///etc/passwd"), "gopher://" + at + "/_SET%20x%201%0D%0AQUIT",
          "dict://" + at + "/d:x", "ftp://" + at + "/", "http://" + at + "/a\r\nX-Injected: 1",
          "http://" + at + "/a HTTP/1.1\nHost: evil\n\nGET /smuggled",
          "http://" + std::string(300, 'h') + ".com:" + std::to_string(this->m_server.Port())}) {
        EXPECT_EQ(this->m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 0u) << url;
    }
    EXPECT_EQ(this->m_server.ConnectionCount(), 0u);
}

}  // namespace
}  // namespace rvtest

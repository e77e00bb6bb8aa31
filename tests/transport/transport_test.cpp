// The transport against scripted loopback servers: keep-alive pooling, time-outs and the
// pace a response must keep, framing of bodies that end early or badly, what a failure says,
// TLS peers and proxies.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "ScopedEnvironment.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "TlsFront.h"
#include "transport/Request.h"
#include "transport/Session.h"

namespace {

using namespace RVUtil::transport;
using namespace std::chrono_literals;
using rvtest::HttpResponse;
using rvtest::Reply;

constexpr RequestFlags kKeepAlive{.keepConnection = true};
constexpr RequestFlags kClose{};
constexpr RequestFlags kTls{.tls = true};
constexpr RequestFlags kTlsKeepAlive{.tls = true, .keepConnection = true};

struct Outcome {
    InetError sent = kInetOk;
    int status = 0;
    std::string raw;
    std::string body;
    InetError readError = kInetOk;
    std::string detail;  // of the failed send or read
};

class TransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_env.UnsetProxies();
        Reopen();
        ASSERT_NE(m_session, nullptr);
    }
    // A new session, with its own pool, that takes the proxy settings of the environment.
    void Reopen() {
        InetError error = kInetOk;
        m_session = Session::Open(&error);
    }

    Outcome Fetch(std::uint16_t port, const std::string& path, RequestFlags flags = kKeepAlive,
                  Millis timeout = 5000ms, const char* user = nullptr,
                  const char* password = nullptr, std::string_view body = {}) {
        Outcome out;
        auto connection = Connection::Open(*m_session, "127.0.0.1", port, user, password);
        connection->SetConnectTimeout(timeout);
        connection->SetReceiveTimeout(timeout);
        auto request = Request::Open(*connection, body.empty() ? "GET" : "POST", path, flags);
        out.sent = request->Send(body.data(), body.size());
        if (out.sent != kInetOk) {
            out.detail = request->ErrorDetail();
            return out;
        }
        out.status = request->StatusCode();
        out.raw = request->RawHeaders();
        char chunk[4096];
        for (;;) {
            std::size_t n = 0;
            out.readError = request->Read(chunk, sizeof chunk, &n);
            if (out.readError != kInetOk || n == 0) {
                out.detail = request->ErrorDetail();
                break;
            }
            out.body.append(chunk, n);
        }
        return out;
    }

    rvtest::ScopedEnvironment m_env;
    std::unique_ptr<Session> m_session;
    rvtest::ScriptedServer m_server;
};

TEST_F(TransportTest, ReusesKeptAliveConnectionsWithinOneSession) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "hello")));
    for (int i = 0; i < 3; ++i) {
        const Outcome o = Fetch(m_server.Port(), "/a?x=" + std::to_string(i));
        EXPECT_EQ(o.status, 200);
        EXPECT_EQ(o.body, "hello");
    }
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    EXPECT_EQ(m_session->State()->Pool().IdleCountForTesting(), 1u);
    EXPECT_EQ(m_server.Requests()[2].RequestLine(), "GET /a?x=2 HTTP/1.1");

    // Without the keep-alive flag the request says so and the connection is not kept.
    Fetch(m_server.Port(), "/b", kClose);
    EXPECT_NE(m_server.Requests().back().bytes.find("Connection: close\r\n"), std::string::npos);
    EXPECT_EQ(m_server.ConnectionCount(), 2u);

    // Another session has a pool of its own.
    Reopen();
    Fetch(m_server.Port(), "/c");
    EXPECT_EQ(m_server.ConnectionCount(), 3u);
}

TEST_F(TransportTest, ReplacesAPooledConnectionTheServerDroppedOnlyOnce) {
    m_server.Enqueue(Reply(HttpResponse(200, "one")));
    m_server.Enqueue(Reply().Close());  // reads the request, answers nothing
    m_server.Enqueue(Reply(HttpResponse(200, "two")));
    EXPECT_EQ(Fetch(m_server.Port(), "/1").body, "one");
    const Outcome second = Fetch(m_server.Port(), "/2");
    EXPECT_EQ(second.sent, kInetOk);
    EXPECT_EQ(second.body, "two");
    EXPECT_EQ(m_server.ConnectionCount(), 2u);

    // When the new connection fails as well, that is the answer: no third try.
    m_server.Enqueue(Reply().Close());
    m_server.Enqueue(Reply().Close());
    m_server.Enqueue(Reply(HttpResponse(200, "never")));
    EXPECT_EQ(Fetch(m_server.Port(), "/3").sent, kInetConnectionAborted);
    EXPECT_EQ(m_server.ConnectionCount(), 3u);

    // A fresh connection closed before any answer is not retried at all.
    m_server.Clear();
    m_server.Enqueue(Reply().Close());
    m_server.Enqueue(Reply(HttpResponse(200, "never")));
    EXPECT_EQ(Fetch(m_server.Port(), "/4", kClose).sent, kInetConnectionAborted);
    EXPECT_EQ(m_server.RequestCount(), 1u);
}

TEST_F(TransportTest, ReportsConnectFailures) {
    std::uint16_t closedPort = 0;
    {
        rvtest::ScriptedServer gone;
        closedPort = gone.Port();
    }
    const Outcome refused = Fetch(closedPort, "/");
    EXPECT_EQ(refused.sent, kInetCannotConnect);
    EXPECT_EQ(refused.detail, "connection refused");
    auto connection = Connection::Open(*m_session, "name.invalid", 80, nullptr, nullptr);
    auto request = Request::Open(*connection, "GET", "/", kClose);
    EXPECT_EQ(request->Send(nullptr, 0), kInetNameNotResolved);
    EXPECT_EQ(request->ErrorDetail(), "host name not resolved: name.invalid");
    for (const char* host : {"", "a b", "evil\r\nX: 1", "tab\there"}) {
        EXPECT_EQ(Connection::Open(*m_session, host, 80, nullptr, nullptr), nullptr) << host;
    }
}

// What a reply makes of a request: with a time-out T the head, interim answers included,
// must be complete within T of the request going out, and the body must bring 1 KiB in
// every T, so trickling servers end the request within a few T while a slow body that keeps
// that pace is read whole; a body ends as its framing says or fails, after what arrived
// before the failure; what is not a response is refused.
TEST_F(TransportTest, AnswersEachReplyAsItsFramingAndPaceAllow) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 6000\r\n\r\n";
    const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string slow = "timed out after 1000 ms waiting for the response head";
    const std::string b6000(6000, 'b');
    struct Case {
        const char* name;
        Reply reply;
        InetError sent;
        InetError read;
        std::string body;  // *: whatever trickled in
        std::string detail;
    };
    const Case cases[] = {
        {"trickled head", Reply().Trickle(head, 1, 200ms), kInetTimeout, kInetOk, "", slow},
        {"trickled body", Reply(head).Trickle(b6000, 1, 200ms), kInetOk, kInetTimeout, "*",
         "timed out after 1000 ms with the body stalled after "},
        {"stalled body", Reply(head + "0123456789").Hang(), kInetOk, kInetTimeout, "0123456789",
         "timed out after 1000 ms with the body stalled after 10 of 6000 body bytes"},
        {"slow but moving", Reply(head).Trickle(b6000, 1500, 600ms), kInetOk, kInetOk, b6000, ""},
        {"closed before its length",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(60, 'a')).Close(),
         kInetOk, kInetConnectionAborted, std::string(60, 'a'),
         "connection closed after 60 of 100 body bytes"},
        {"reset before its length",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc").Delay(50ms).Reset(), kInetOk,
         kInetConnectionAborted, "abc", "connection reset by peer after 3 of 10 body bytes"},
        {"chunked with extensions, LF ends and a trailer, trickled",
         Reply().Trickle(
             chunkedHead + "5;ext=1\r\nhello\r\n1A\nabcdefghijklmnopqrstuvwxyz\n0\r\nT: x\r\n\r\n",
             1, 0ms),
         kInetOk, kInetOk, "helloabcdefghijklmnopqrstuvwxyz", ""},
        {"chunk size not a number", Reply(chunkedHead + "3x\r\nabc\r\nzz\r\nxyz\r\n"), kInetOk,
         kInetInvalidResponse, "abc", "bad chunk size"},
        {"a trailer line no head could hold",
         Reply(chunkedHead + "3\r\nabc\r\n0\r\nno colon\r\n\r\n"), kInetOk, kInetInvalidResponse,
         "abc", "a header line without a colon"},
        {"chunk longer than its size", Reply(chunkedHead + "2\r\nabc\r\n0\r\n\r\n"), kInetOk,
         kInetInvalidResponse, "ab", "chunk data longer than its size"},
        {"closed before the last chunk", Reply(chunkedHead + "3\r\nabc\r\n").Close(), kInetOk,
         kInetConnectionAborted, "abc", "connection closed after 3 body bytes"},
        {"until close", Reply("HTTP/1.0 200 OK\r\n\r\nall of it").Close(), kInetOk, kInetOk,
         "all of it", ""},
        {"not HTTP", Reply("SSH-2.0-OpenSSH\r\n\r\n").Close(), kInetInvalidResponse, kInetOk, "",
         ""},
        {"head cut short", Reply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n").Close(),
         kInetInvalidResponse, kInetOk, "", ""},
        {"head too large", Reply("HTTP/1.1 200 OK\r\nX: " + std::string(kMaxResponseHeadSize, 'x')),
         kInetInvalidResponse, kInetOk, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Clear();
        m_server.Enqueue(c.reply);
        const auto start = std::chrono::steady_clock::now();
        const Outcome o = Fetch(m_server.Port(), "/", kClose, 1000ms);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(o.sent, c.sent);
        EXPECT_EQ(o.readError, c.read);
        EXPECT_EQ(c.body == "*" ? "*" : o.body, c.body);
        EXPECT_EQ(o.detail.substr(0, c.detail.size()), c.detail);
    }

    // A 100 Continue ahead of the real answer is passed over.
    m_server.Enqueue(Reply("HTTP/1.1 100 Continue\r\n\r\n" + HttpResponse(201, "made")));
    const Outcome o = Fetch(m_server.Port(), "/", kKeepAlive, 5000ms, nullptr, nullptr, "payload");
    EXPECT_EQ(o.status, 201);
    EXPECT_EQ(o.raw.rfind("HTTP/1.1 201", 0), 0u);
    EXPECT_EQ(o.body, "made");
}

// A header line that would end early and start another header (or request) never reaches
// the wire, and the Host line stays the transport's own.
TEST_F(TransportTest, RefusesHeaderLinesThatWouldSplitTheRequest) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "")));
    auto connection = Connection::Open(*m_session, "127.0.0.1", m_server.Port(), nullptr, nullptr);
    auto request = Request::Open(*connection, "GET", "/a b\r\nX: 1", kKeepAlive);
    EXPECT_TRUE(request->AddHeaderLine("X-Ok: 1\r\n"));
    for (const std::string& line :
         {std::string("X-A: v\r\nHost: evil"), std::string("X-B: v\nHost: evil"),
          std::string("X-C: v\rHost: evil"), std::string("X-D: v\0w", 9)}) {
        EXPECT_FALSE(request->AddHeaderLine(line));
    }
    ASSERT_EQ(request->Send(nullptr, 0), kInetOk);
    const std::string head(m_server.Requests().at(0).Head());
    EXPECT_EQ(head, "GET /a%20b%0D%0AX:%201 HTTP/1.1\r\nHost: 127.0.0.1:" +
                        std::to_string(m_server.Port()) + "\r\nX-Ok: 1\r\n\r\n");
}

TEST_F(TransportTest, SendsCredentialsOnlyWhenBothAreGiven) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "")));
    Fetch(m_server.Port(), "/", kKeepAlive, 5000ms, "user", "secret");
    Fetch(m_server.Port(), "/", kKeepAlive, 5000ms, "user", nullptr);
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].bytes.find("Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"),
              std::string::npos);
    EXPECT_EQ(requests[1].bytes.find("Authorization"), std::string::npos);
}

TEST_F(TransportTest, AsksAnHttpProxyInAbsoluteFormAndHonoursNoProxy) {
    rvtest::ScriptedServer proxy;
    proxy.SetDefaultReply(Reply(HttpResponse(200, "via proxy")));
    m_env.Set("http_proxy", "http://px%40user:pw@127.0.0.1:" + std::to_string(proxy.Port()));
    Reopen();
    EXPECT_EQ(Fetch(8080, "/p?q=1").body, "via proxy");
    const std::string head(proxy.Requests().at(0).Head());
    EXPECT_EQ(proxy.Requests()[0].RequestLine(), "GET http://127.0.0.1:8080/p?q=1 HTTP/1.1");
    EXPECT_NE(head.find("Proxy-Authorization: Basic cHhAdXNlcjpwdw==\r\n"), std::string::npos);

    m_env.Set("no_proxy", "127.0.0.1");
    Reopen();
    m_server.Enqueue(Reply(HttpResponse(200, "direct")));
    EXPECT_EQ(Fetch(m_server.Port(), "/").body, "direct");
    EXPECT_EQ(proxy.RequestCount(), 1u);
}

TEST_F(TransportTest, FailsWhenTheProxyRefusesTheTunnel) {
    rvtest::ScriptedServer proxy;
    proxy.Enqueue(Reply(HttpResponse(403, "no")));
    m_env.Set("https_proxy", "http://127.0.0.1:" + std::to_string(proxy.Port()));
    Reopen();
    const Outcome o = Fetch(443, "/secret", kTlsKeepAlive);
    EXPECT_EQ(o.sent, kInetCannotConnect);
    EXPECT_EQ(o.detail, "proxy refused the tunnel: HTTP 403");
    EXPECT_EQ(proxy.Requests().at(0).RequestLine(), "CONNECT 127.0.0.1:443 HTTP/1.1");
}

class TlsTransportTest : public TransportTest {
  protected:
    void SetUp() override {
        m_env.Set("SSL_CERT_FILE", rvtest::TestCertificates::Get().CaFile());
        m_env.Unset("SSL_CERT_DIR");
        TransportTest::SetUp();
    }
    std::uint16_t Front(const rvtest::TestCertificates::KeyPair& pair) {
        m_front = std::make_unique<rvtest::TlsFront>(m_server.Port(), pair.certFile, pair.keyFile);
        return m_front->Port();
    }
    std::unique_ptr<rvtest::TlsFront> m_front;
};

TEST_F(TlsTransportTest, VerifiesThePeerKeepsTheConnectionAndFramesTheBody) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "secret")));
    const std::uint16_t port = Front(rvtest::TestCertificates::Get().Loopback());
    for (int i = 0; i < 2; ++i) {
        const Outcome o = Fetch(port, "/s", kTlsKeepAlive);
        EXPECT_EQ(o.sent, kInetOk);
        EXPECT_EQ(o.body, "secret");
    }
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    EXPECT_NE(m_server.Requests().at(0).bytes.find("Host: 127.0.0.1:" + std::to_string(port)),
              std::string::npos);

    // A body cut short and a silent peer, under TLS.
    m_server.Clear();
    m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc").Close());
    const Outcome o = Fetch(port, "/", kTls);
    EXPECT_EQ(o.body, "abc");
    EXPECT_EQ(o.readError, kInetConnectionAborted);
    m_server.Enqueue(Reply().Hang());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch(port, "/", kTls, 300ms).sent, kInetTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(TlsTransportTest, RefusesUntrustedAndWrongNamePeers) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "secret")));
    Outcome o = Fetch(Front(rvtest::TestCertificates::Get().Untrusted()), "/", kTls);
    EXPECT_EQ(o.sent, kInetCertificateUntrusted);
    EXPECT_EQ(o.detail, "TLS certificate not trusted: self-signed certificate");
    o = Fetch(Front(rvtest::TestCertificates::Get().WrongName()), "/", kTls);
    EXPECT_EQ(o.sent, kInetCertificateName);
    EXPECT_EQ(o.detail, "TLS host name mismatch");
    // A plain server asked for TLS waits for a request that never comes in plain text.
    o = Fetch(m_server.Port(), "/", kTls, 500ms);
    EXPECT_EQ(o.sent, kInetTimeout);
    EXPECT_EQ(o.detail, "timed out after 500 ms in the TLS handshake");
    EXPECT_EQ(m_server.RequestCount(), 0u);
}

}  // namespace
